<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>QBatchCutWidget</name>
    <message>
        <source>View:</source>
        <translation>视图：</translation>
    </message>
    <message>
        <source>Undo</source>
        <translation>撤销</translation>
    </message>
    <message>
        <source>Undo (Ctrl+Z)</source>
        <translation>撤销 (Ctrl+Z)</translation>
    </message>
    <message>
        <source>Redo (Ctrl+Shift+Z)</source>
        <translation>恢复 (Ctrl+Shift+Z)</translation>
    </message>
    <message>
        <source>(Right-drag to move the canvas)</source>
        <translation>（右键拖动画布）</translation>
    </message>
    <message>
        <source>Redo</source>
        <translation>恢复</translation>
    </message>
    <message>
        <source>Paint over a stray object to remove it from the cut-out</source>
        <translation>涂抹多余的物体，将其从抠图中去除</translation>
    </message>
    <message>
        <source>Erase object</source>
        <translation>擦除物体</translation>
    </message>
</context>
<context>
    <name>QBatchMattingDialog</name>
    <message>
        <source>Remove product background in bulk</source>
        <translation>批量商品抠图</translation>
    </message>
    <message>
        <source>Remove person background in bulk</source>
        <translation>批量人像抠图</translation>
    </message>
    <message>
        <source>Drag files here or click to add files</source>
        <translation>拖拽文件到此处或点击添加文件</translation>
    </message>
    <message>
        <source>Selected</source>
        <translation>已选择</translation>
    </message>
    <message>
        <source>/%1 images</source>
        <translation>/%1 张图片</translation>
    </message>
    <message>
        <source>Select Image</source>
        <translation>选择图片</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>开始抠图</translation>
    </message>
    <message>
        <source>Up to %1 images can be added; more at once would make Brisel slow to respond.</source>
        <translation>最多可添加 %1 张图片，同时处理过多图片可能导致卡顿。</translation>
    </message>
    <message>
        <source>Matte the photos sooner, with slightly less exact edges</source>
        <translation>更快完成抠图，边缘稍欠精细</translation>
    </message>
    <message>
        <source>Fast (less exact edges)</source>
        <translation>快速（边缘较粗略）</translation>
    </message>
</context>
<context>
    <name>QBatchMattingWidget</name>
    <message>
        <source>Please enter a width and a height from %1 to %2 pixels.</source>
        <translation>请输入 %1 到 %2 像素之间的宽度和高度。</translation>
    </message>
    <message>
        <source>Change background in bulk</source>
        <translation>批量换背景</translation>
    </message>
    <message>
        <source>Crop photos in bulk</source>
        <translation>批量裁剪</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>W</source>
        <translation>宽</translation>
    </message>
    <message>
        <source>H</source>
        <translation>高</translation>
    </message>
    <message>
        <source>Back to Home</source>
        <translation>返回首页</translation>
    </message>
    <message>
        <source>Upload again</source>
        <translation>重新上传</translation>
    </message>
    <message>
        <source>Save all</source>
        <translation>全部保存</translation>
    </message>
    <message>
        <source>Manually remove background</source>
        <translation>手动抠图</translation>
    </message>
    <message>
        <source>Select Image</source>
        <translation>选择图片</translation>
    </message>
    <message>
        <source>px</source>
        <translation>像素</translation>
    </message>
    <message>
        <source>Output folder:</source>
        <translation>输出目录：</translation>
    </message>
    <message>
        <source>Output size:</source>
        <translation>输出尺寸：</translation>
    </message>
    <message>
        <source>Clear all photos?</source>
        <translation>确定要清空全部吗？</translation>
    </message>
    <message>
        <source>Original size</source>
        <translation>原始分辨率</translation>
    </message>
    <message>
        <source>Save as print sheets</source>
        <translation>保存为打印相纸</translation>
    </message>
</context>
<context>
    <name>QBatchSaver</name>
    <message>
        <source>Saving...</source>
        <translation>正在保存……</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message numerus="yes">
        <source>%n photo(s) could not be saved:</source>
        <translation>
            <numerusform>%n 张照片未能保存：</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n photo(s) without a result were skipped.</source>
        <translation>
            <numerusform>%n 张没有结果的照片已跳过。</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>QImageCanvas</name>
    <message>
        <source>The photo is larger than the sheet chosen for printing.</source>
        <translation>照片比所选的打印相纸还大。</translation>
    </message>
</context>
<context>
    <name>QImageItem</name>
    <message>
        <source>%1 cannot be shown as a picture.</source>
        <translation>%1 无法作为图片显示。</translation>
    </message>
    <message>
        <source>No preview</source>
        <translation>无法预览</translation>
    </message>
</context>
<context>
    <name>QPreviewItem</name>
    <message>
        <source>Download</source>
        <translation>下载</translation>
    </message>
    <message>
        <source>Edit</source>
        <translation>编辑</translation>
    </message>
    <message>
        <source>Retry</source>
        <translation>重试</translation>
    </message>
    <message>
        <source>The result could not be read.</source>
        <translation>无法读取抠图结果。</translation>
    </message>
    <message>
        <source>The photo could not be processed.</source>
        <translation>无法处理这张照片。</translation>
    </message>
    <message>
        <source>The photo has no result yet.</source>
        <translation>这张照片还没有抠图结果。</translation>
    </message>
</context>
</TS>

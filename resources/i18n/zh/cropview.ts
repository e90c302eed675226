<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>QCropWidget</name>
    <message>
        <source>View:</source>
        <translation>视图：</translation>
    </message>
    <message>
        <source>（Right click to move the canvas）</source>
        <translation>（右键拖动画布）</translation>
    </message>
    <message>
        <source>Undo</source>
        <translation>撤销</translation>
    </message>
    <message>
        <source>Undo (Ctrl+Z)</source>
        <translation>撤销（Ctrl+Z）</translation>
    </message>
    <message>
        <source>Redo (Ctrl+Shift+Z)</source>
        <translation>重做（Ctrl+Shift+Z）</translation>
    </message>
    <message>
        <source>Restore</source>
        <translation>恢复</translation>
    </message>
    <message>
        <source>&quot;%1&quot; cannot be read as a picture, so it cannot be used as the background.</source>
        <translation>无法读取图片“%1”，不能用作背景。</translation>
    </message>
    <message>
        <source>Even at the lowest quality the picture takes %1 KB, more than the %2 KB set for the output file size. It was saved at that smallest size.</source>
        <translation>即使使用最低画质，图片仍有 %1 KB，超过了输出文件大小设置的 %2 KB。已按最小的大小保存。</translation>
    </message>
</context>
<context>
    <name>QImageCropWidget</name>
    <message>
        <source>Loading...</source>
        <translation>加载中...</translation>
    </message>
</context>
<context>
    <name>QImageFormatDialog</name>
    <message>
        <source>Hint</source>
        <translation>提示</translation>
    </message>
    <message>
        <source>Choose save format</source>
        <translation>选择保存格式</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>PNG supports transparent background, the file size is larger</source>
        <translation>PNG支持透明背景，文件较大</translation>
    </message>
    <message>
        <source>JPG does not support transparent background (the default background is white), the file size is small</source>
        <translation>JPG不支持透明背景（默认背景为白色），文件较小</translation>
    </message>
</context>
<context>
    <name>QPageAdvanced</name>
    <message>
        <source>File Size</source>
        <translation>文件大小</translation>
    </message>
    <message>
        <source>Largest JPG file:</source>
        <translation>JPG 文件最大：</translation>
    </message>
    <message>
        <source>KB</source>
        <translation>KB</translation>
    </message>
    <message>
        <source>No limit</source>
        <translation>不限</translation>
    </message>
    <message>
        <source>Saved JPG files are made no larger than this; leave it empty for the best quality.</source>
        <translation>保存的JPG文件不会超过此大小；留空则以最佳画质保存。</translation>
    </message>
</context>
<context>
    <name>QSaveFileWriter</name>
    <message>
        <source>The picture could not be encoded as %1.</source>
        <translation>无法将图片编码为 %1 格式。</translation>
    </message>
    <message>
        <source>Could not save &quot;%1&quot;: the folder &quot;%2&quot; cannot be created.</source>
        <translation>无法保存“%1”：无法创建文件夹“%2”。</translation>
    </message>
</context>
</TS>

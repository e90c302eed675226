<?xml version='1.0' encoding='utf-8'?>
<TS version="2.1" language="zh_CN">
<context>
    <name>QMainWidget</name>
    <message>
        <location filename="../../../app/workspace/qmainwidget.cpp" line="+48" />
        <source>Change background</source>
        <translation>换背景</translation>
    </message>
    <message>
        <location line="+1" />
        <source>Manually remove background</source>
        <translation>手动抠图</translation>
    </message>
    <message>
        <location line="+1" />
        <source>Crop</source>
        <translation>裁剪</translation>
    </message>
    <message>
        <location line="+1" />
        <source>Beautify</source>
        <translation>美颜</translation>
    </message>
    <message>
        <location line="+1" />
        <source>More</source>
        <translation>更多</translation>
    </message>
    <message>
        <location line="+18" />
        <location line="+1" />
        <source>Brisel</source>
        <translation>Brisel 智能抠图</translation>
    </message>
    <message>
        <location line="+67" />
        <source>Remove Person Background</source>
        <translation>人像抠图</translation>
    </message>
    <message>
        <location line="+0" />
        <source>For Portrait Only</source>
        <translation>仅适用于人像照片</translation>
    </message>
    <message>
        <location line="+2" />
        <source>Remove Product Background</source>
        <translation>商品抠图</translation>
    </message>
    <message>
        <location line="+1" />
        <source>For Products, Clothes, Animals, Cars, etc</source>
        <translation>适用于商品、服装、动物、汽车等</translation>
    </message>
    <message>
        <location line="+1" />
        <source>Create ID Photo</source>
        <translation>证件照制作</translation>
    </message>
    <message>
        <location line="+1" />
        <source>Support for changing background, cropping, setting file size, etc</source>
        <translation>支持换背景、裁剪、设置文件大小等</translation>
    </message>
    <message>
        <location line="+16" />
        <source>"%1" is not a photo Brisel can open. Drop a JPG, PNG or BMP file.</source>
        <translation>“%1”不是 Brisel 能打开的照片，请拖入 JPG、PNG 或 BMP 文件。</translation>
    </message>
    <message>
        <location line="+17" />
        <source>Remove person background in bulk</source>
        <translation>批量人像抠图</translation>
    </message>
    <message>
        <location line="+2" />
        <source>Remove product background in bulk</source>
        <translation>批量商品抠图</translation>
    </message>
    <message>
        <location line="+2" />
        <source>Image watermark remove</source>
        <translation>图片去水印</translation>
    </message>
    <message>
        <location line="+3" />
        <source>JPG, PNG and BMP photos. Drop a photo on a card to start.</source>
        <translation>支持 JPG、PNG、BMP 照片，也可以把照片拖到卡片上直接开始。</translation>
    </message>
    <message>
        <location line="+1" />
        <source>Version %1</source>
        <translation>版本 %1</translation>
    </message>
    <message>
        <location line="+45" />
        <source>Original resolution</source>
        <translation>原始分辨率</translation>
    </message>
    <message>
        <location line="+64" />
        <source>Restore</source>
        <translation>还原</translation>
    </message>
    <message>
        <location line="+0" />
        <source>Maximize</source>
        <translation>最大化</translation>
    </message>
    <message>
        <location line="+40" />
        <source>Select Image</source>
        <translation>选择图片</translation>
    </message>
    <message>
        <location line="+11" />
        <source>Connecting to the matting service...</source>
        <translation>正在连接抠图服务...</translation>
    </message>
    <message>
        <location line="+14" />
        <source>Cutting background in progress...</source>
        <translation>正在抠图，请稍候...</translation>
    </message>
    <message>
        <source>File size</source>
        <translation>文件大小</translation>
    </message>
    <message>
        <source>Pick a photo (%1)</source>
        <translation>选择照片（%1）</translation>
    </message>
    <message>
        <source>Cancel (%1)</source>
        <translation>取消（%1）</translation>
    </message>
</context>
<context>
    <name>QFileChooser</name>
    <message>
        <source>Images (*.jpg *.jpeg *.png *.bmp)</source>
        <translation>图片 (*.jpg *.jpeg *.png *.bmp)</translation>
    </message>
    <message>
        <source>Select Path</source>
        <translation>选择路径</translation>
    </message>
    <message>
        <source>Brisel cannot write to "%1". Please choose another output folder.</source>
        <translation>Brisel 无法写入“%1”，请选择其他输出目录。</translation>
    </message>
</context>
<context>
    <name>QMainWidgetClass</name>
    <message>
        <location filename="../../../app/workspace/qmainwidget.ui" line="+20" />
        <source>QMainWidget</source>
        <translation>QMainWidget</translation>
    </message>
    <message>
        <location line="+91" />
        <source>Current Version:</source>
        <translation>当前版本：</translation>
    </message>
    <message>
        <location line="+23" />
        <source>Menu</source>
        <translation>菜单</translation>
    </message>
    <message>
        <location line="+10" />
        <source>Minimize</source>
        <translation>最小化</translation>
    </message>
    <message>
        <location line="+10" />
        <source>Maximize</source>
        <translation>最大化</translation>
    </message>
    <message>
        <location line="+10" />
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <location line="+105" />
        <source>Cut out in bulk</source>
        <translation>批量抠图</translation>
    </message>
    <message>
        <location line="+77" />
        <source>Toolbox</source>
        <translation>工具箱</translation>
    </message>
    <message>
        <location line="+7" />
        <source>New</source>
        <translation>新</translation>
    </message>
    <message>
        <location line="+57" />
        <source>Cutting background in progress...</source>
        <translation>正在抠图，请稍候...</translation>
    </message>
    <message>
        <location line="+13" />
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <location line="+190" />
        <source>Original image</source>
        <translation>原图</translation>
    </message>
    <message>
        <location line="+10" />
        <source>Cutout</source>
        <translation>抠图效果</translation>
    </message>
    <message>
        <location line="+49" />
        <source>Output folder：</source>
        <translation>输出目录：</translation>
    </message>
    <message>
        <location line="+29" />
        <source>Choose output folder</source>
        <translation>选择输出目录</translation>
    </message>
    <message>
        <location line="+23" />
        <source>Output size：</source>
        <translation>输出尺寸：</translation>
    </message>
    <message>
        <location line="+27" />
        <source>Back to Home</source>
        <translation>返回首页</translation>
    </message>
    <message>
        <location line="+10" />
        <source>Upload again</source>
        <translation>重新上传</translation>
    </message>
    <message>
        <location line="+10" />
        <source>Save</source>
        <translation>保存</translation>
    </message>
</context>
<context>
    <name>QOutputBar</name>
    <message>
        <source>Original resolution</source>
        <translation>原始分辨率</translation>
    </message>
    <message>
        <source>Save the result (%1)</source>
        <translation>保存结果（%1）</translation>
    </message>
</context>
<context>
    <name>QSaveNotice</name>
    <message>
        <source>Open folder</source>
        <translation>打开文件夹</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>Saved to %1</source>
        <translation>已保存到 %1</translation>
    </message>
    <message>
        <source>Saved to %1. The folder could not be opened in a file manager.</source>
        <translation>已保存到 %1。无法在文件管理器中打开该文件夹。</translation>
    </message>
</context>
</TS>
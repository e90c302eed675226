<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>CWinApp</name>
    <message>
        <source>Brisel</source>
        <translation>Brisel 智能抠图</translation>
    </message>
    <message>
        <source>Brisel is already running.</source>
        <translation>软件已经启动，请勿重复运行！</translation>
    </message>
</context>
<context>
    <name>QClipboardActions</name>
    <message>
        <source>Copy</source>
        <translation>复制</translation>
    </message>
    <message>
        <source>Copy the result with its transparency (%1)</source>
        <translation>复制结果（保留透明）（%1）</translation>
    </message>
    <message>
        <source>There is no result to copy yet.</source>
        <translation>还没有可复制的结果。</translation>
    </message>
    <message>
        <source>The clipboard holds no picture to open.</source>
        <translation>剪贴板中没有可打开的图片。</translation>
    </message>
</context>
<context>
    <name>QMainWidget</name>
    <message>
        <source>Change background</source>
        <translation>换背景</translation>
    </message>
    <message>
        <source>Manually remove background</source>
        <translation>手动抠图</translation>
    </message>
    <message>
        <source>Crop</source>
        <translation>裁剪</translation>
    </message>
    <message>
        <source>Beautify</source>
        <translation>美颜</translation>
    </message>
    <message>
        <source>More</source>
        <translation>更多</translation>
    </message>
    <message>
        <source>Brisel</source>
        <translation>Brisel 智能抠图</translation>
    </message>
    <message>
        <source>Remove Person Background</source>
        <translation>人像抠图</translation>
    </message>
    <message>
        <source>For Portrait Only</source>
        <translation>仅适用于人像照片</translation>
    </message>
    <message>
        <source>Create ID Photo</source>
        <translation>证件照制作</translation>
    </message>
    <message>
        <source>Remove person background in bulk</source>
        <translation>批量人像抠图</translation>
    </message>
    <message>
        <source>Remove product background in bulk</source>
        <translation>批量商品抠图</translation>
    </message>
    <message>
        <source>JPG, PNG and BMP photos. Drop a photo on a card to start.</source>
        <translation>支持 JPG、PNG、BMP 照片，也可以把照片拖到卡片上直接开始。</translation>
    </message>
    <message>
        <source>Version %1</source>
        <translation>版本 %1</translation>
    </message>
    <message>
        <source>Restore</source>
        <translation>还原</translation>
    </message>
    <message>
        <source>Maximize</source>
        <translation>最大化</translation>
    </message>
    <message>
        <source>Select Image</source>
        <translation>选择图片</translation>
    </message>
    <message>
        <source>Connecting to the matting service...</source>
        <translation>正在连接抠图服务...</translation>
    </message>
    <message>
        <source>Removing the background...</source>
        <translation>正在抠图，请稍候...</translation>
    </message>
    <message>
        <source>Remove Product Background</source>
        <translation>商品抠图</translation>
    </message>
    <message>
        <source>For Products, Clothes, Animals, Cars, etc.</source>
        <translation>适用于商品、服装、动物、汽车等</translation>
    </message>
    <message>
        <source>Change the background, crop, set the file size and more</source>
        <translation>支持换背景、裁剪、设置文件大小等</translation>
    </message>
    <message>
        <source>Remove image watermarks</source>
        <translation>图片去水印</translation>
    </message>
    <message>
        <source>File size</source>
        <translation>文件大小</translation>
    </message>
    <message>
        <source>Cancel (%1)</source>
        <translation>取消（%1）</translation>
    </message>
    <message>
        <source>Pick a photo (%1)</source>
        <translation>选择照片（%1）</translation>
    </message>
    <message>
        <source>Delete all cached cut-outs? They are downloaded again when needed.</source>
        <translation>确定删除所有缓存的抠图结果吗？需要时会重新下载。</translation>
    </message>
    <message numerus="yes">
        <source>%n cached file(s) could not be deleted; they may be in use.</source>
        <translation>
            <numerusform>有 %n 个缓存文件无法删除，可能正在使用中。</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n cached cut-out(s) deleted, %1 freed.</source>
        <translation>
            <numerusform>已删除 %n 个缓存的抠图，释放了 %1。</numerusform>
        </translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a photo Brisel can open. Drop a JPG, PNG, WebP or HEIC file.</source>
        <translation>“%1”不是 Brisel 能打开的照片。请拖入 JPG、PNG、WebP 或 HEIC 文件。</translation>
    </message>
</context>
<context>
    <name>QMainWidgetClass</name>
    <message>
        <source>Current Version:</source>
        <translation>当前版本：</translation>
    </message>
    <message>
        <source>Menu</source>
        <translation>菜单</translation>
    </message>
    <message>
        <source>Minimize</source>
        <translation>最小化</translation>
    </message>
    <message>
        <source>Maximize</source>
        <translation>最大化</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>Cut out in bulk</source>
        <translation>批量抠图</translation>
    </message>
    <message>
        <source>Toolbox</source>
        <translation>工具箱</translation>
    </message>
    <message>
        <source>New</source>
        <translation>新</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Original image</source>
        <translation>原图</translation>
    </message>
    <message>
        <source>Cutout</source>
        <translation>抠图效果</translation>
    </message>
    <message>
        <source>Choose output folder</source>
        <translation>选择输出目录</translation>
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
        <source>Save</source>
        <translation>保存</translation>
    </message>
    <message>
        <source>Removing the background...</source>
        <translation>正在抠图，请稍候...</translation>
    </message>
    <message>
        <source>Output folder:</source>
        <translation>输出目录：</translation>
    </message>
    <message>
        <source>Output size:</source>
        <translation>输出尺寸：</translation>
    </message>
</context>
<context>
    <name>QOpenWith</name>
    <message>
        <source>These files could not be opened:
%1</source>
        <translation>以下文件无法打开：
%1</translation>
    </message>
    <message numerus="yes">
        <source>Only the first %1 of %n photo(s) were opened.</source>
        <translation>
            <numerusform>共 %n 张照片，只打开了前 %1 张。</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>QOutputBar</name>
    <message>
        <source>Up to 1080P</source>
        <translation>最大 1080P</translation>
    </message>
    <message>
        <source>Up to 2K</source>
        <translation>最大 2K</translation>
    </message>
    <message>
        <source>Up to 4K</source>
        <translation>最大 4K</translation>
    </message>
    <message>
        <source>Original size</source>
        <translation>原始分辨率</translation>
    </message>
    <message>
        <source>1080P, 2K and 4K limit the long side to 1920, 2000 and 4000 pixels; a smaller photo keeps its size.</source>
        <translation>1080P、2K 和 4K 把长边限制在 1920、2000 和 4000 像素以内；较小的照片保持原尺寸。</translation>
    </message>
    <message>
        <source>Save the result (%1)</source>
        <translation>保存结果（%1）</translation>
    </message>
</context>
</TS>

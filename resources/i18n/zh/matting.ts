<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>CutoutTool</name>
    <message>
        <source>Cuts the subject out of photos and writes each cut-out as a PNG with a transparent background.</source>
        <translation>从照片中抠出主体，并将每张抠图保存为透明背景的 PNG。</translation>
    </message>
    <message>
        <source>Output PNG file (one photo) or folder. Default: &lt;photo name&gt;-cutout.png beside each photo.</source>
        <translation>输出的 PNG 文件（单张照片）或文件夹。默认：在每张照片旁保存为 &lt;照片名&gt;-cutout.png。</translation>
    </message>
    <message>
        <source>FILE|FOLDER</source>
        <translation>文件|文件夹</translation>
    </message>
    <message>
        <source>What the photos show: person, goods or card.</source>
        <translation>照片内容：person（人像）、goods（商品）或 card（证件照）。</translation>
    </message>
    <message>
        <source>TYPE</source>
        <translation>类型</translation>
    </message>
    <message>
        <source>Photos to cut out.</source>
        <translation>要抠图的照片。</translation>
    </message>
    <message>
        <source>Unknown photo type &quot;%1&quot;: use person, goods or card.</source>
        <translation>未知的照片类型“%1”：请使用 person、goods 或 card。</translation>
    </message>
    <message>
        <source>See %1 --help.</source>
        <translation>请参阅 %1 --help。</translation>
    </message>
    <message>
        <source>Starting the local matting service ...</source>
        <translation>正在启动本地抠图服务……</translation>
    </message>
    <message>
        <source>%1 photo(s) could not be cut out.</source>
        <translation>有 %1 张照片未能抠图。</translation>
    </message>
    <message>
        <source>Replace output files that already exist.</source>
        <translation>替换已存在的输出文件。</translation>
    </message>
    <message>
        <source>%1 already exists; add --overwrite to replace it.</source>
        <translation>%1 已存在；如需替换，请加上 --overwrite。</translation>
    </message>
    <message>
        <source>Use the service&apos;s fast engine: quicker on large batches, slightly less exact edges.</source>
        <translation>使用服务的快速引擎：大批量处理更快，边缘略欠精确。</translation>
    </message>
</context>
<context>
    <name>QCutoutBatch</name>
    <message>
        <source>No photo was given.</source>
        <translation>没有指定照片。</translation>
    </message>
    <message>
        <source>The cut-out would overwrite the photo %1; choose another output file.</source>
        <translation>抠图结果会覆盖照片 %1，请选择其他输出文件。</translation>
    </message>
    <message>
        <source>The cut-out could not be encoded as PNG.</source>
        <translation>无法将抠图结果编码为 PNG。</translation>
    </message>
</context>
<context>
    <name>QCutoutCache</name>
    <message>
        <source>The folder %1 could not be created.</source>
        <translation>无法创建文件夹 %1。</translation>
    </message>
</context>
<context>
    <name>QImageTask</name>
    <message>
        <source>The result of %1 is no longer in the cache; the photo has to be matted again.</source>
        <translation>%1 的抠图结果已不在缓存中，需要重新抠图。</translation>
    </message>
    <message>
        <source>Image matting failed: %1</source>
        <translation>抠图失败：%1</translation>
    </message>
</context>
<context>
    <name>QMattingClient</name>
    <message>
        <source>The matting service refused the request (code %1).</source>
        <translation>抠图服务拒绝了请求（代码 %1）。</translation>
    </message>
    <message>
        <source>The photo cannot be read: %1</source>
        <translation>无法读取照片：%1</translation>
    </message>
    <message>
        <source>Image matting failed!</source>
        <translation>抠图失败！</translation>
    </message>
    <message>
        <source>The cut-out sent by the matting service is not a readable image.</source>
        <translation>抠图服务返回的结果不是可读取的图片。</translation>
    </message>
    <message>
        <source>The answer of the matting service could not be read.</source>
        <translation>无法读取抠图服务的应答。</translation>
    </message>
    <message>
        <source>The file does not exist.</source>
        <translation>文件不存在。</translation>
    </message>
    <message>
        <source>Image matting timed out.</source>
        <translation>抠图超时！</translation>
    </message>
    <message>
        <source>Image matting was cancelled.</source>
        <translation>抠图已取消。</translation>
    </message>
    <message>
        <source>The HEIC photo could not be decoded.</source>
        <translation>无法解码该 HEIC 照片。</translation>
    </message>
</context>
<context>
    <name>QServiceLauncher</name>
    <message>
        <source>The local matting service cannot start: %1 is missing. Run the set-up again.</source>
        <translation>本地抠图服务无法启动：缺少 %1。请重新运行安装设置。</translation>
    </message>
    <message>
        <source>The local matting service cannot start: %1</source>
        <translation>本地抠图服务无法启动：%1</translation>
    </message>
    <message>
        <source>The local matting service stopped while starting. Its log is %1.</source>
        <translation>本地抠图服务在启动时停止了。日志文件：%1。</translation>
    </message>
    <message>
        <source>The local matting service did not answer within %1 seconds. Its log is %2.</source>
        <translation>本地抠图服务在 %1 秒内没有响应。日志文件：%2。</translation>
    </message>
    <message>
        <source>The local matting service cannot start: another program holds %1.</source>
        <translation>本机抠图服务无法启动：%1 被另一个程序占用。</translation>
    </message>
    <message>
        <source>The local matting service stopped unexpectedly — see %1</source>
        <translation>本机抠图服务意外停止，请查看 %1</translation>
    </message>
</context>
<context>
    <name>QServiceSetup</name>
    <message>
        <source>Preparing the secure connection to the matting service…</source>
        <translation>正在准备与抠图服务的安全连接…</translation>
    </message>
    <message>
        <source>Preparing the photo model…</source>
        <translation>正在准备抠图模型…</translation>
    </message>
    <message>
        <source>Downloading the photo model (about 136 MB)…</source>
        <translation>正在下载抠图模型（约 136 MB）…</translation>
    </message>
    <message>
        <source>Converting the photo model (a few minutes)…</source>
        <translation>正在转换抠图模型（需要几分钟）…</translation>
    </message>
    <message>
        <source>The photo model is ready.</source>
        <translation>抠图模型已就绪。</translation>
    </message>
    <message>
        <source>Until then only photos on a plain background are cut out well.</source>
        <translation>在此之前，只有纯色背景的照片能抠得好。</translation>
    </message>
    <message>
        <source>The secure connection to the matting service could not be prepared: %1</source>
        <translation>无法准备与抠图服务的安全连接：%1</translation>
    </message>
    <message>
        <source>The photo model could not be downloaded: this computer seems to be offline. It is tried again at the next start. %1</source>
        <translation>无法下载抠图模型：这台电脑似乎没有联网，下次启动时会再试。%1</translation>
    </message>
    <message>
        <source>Preparing the photo model needs the python3-torch package (sudo apt install python3-torch python3-onnx python3-opencv). %1</source>
        <translation>准备抠图模型需要 python3-torch 软件包（sudo apt install python3-torch python3-onnx python3-opencv）。%1</translation>
    </message>
    <message>
        <source>The photo model could not be prepared: %1. %2</source>
        <translation>无法准备抠图模型：%1。%2</translation>
    </message>
</context>
</TS>

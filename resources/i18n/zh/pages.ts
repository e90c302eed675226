<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>QCropTable</name>
    <message>
        <source>U.S. Passport/visa</source>
        <translation>美国护照/签证</translation>
    </message>
    <message>
        <source>UK Passport/visa</source>
        <translation>英国护照/签证</translation>
    </message>
    <message>
        <source>Japan Passport/visa</source>
        <translation>日本护照/签证</translation>
    </message>
    <message>
        <source>Original image</source>
        <translation>原图</translation>
    </message>
    <message>
        <source>Crop edges of image</source>
        <translation>裁掉图片边缘</translation>
    </message>
    <message>
        <source>Custom size</source>
        <translation>自定义尺寸</translation>
    </message>
    <message>
        <source>Certificate &gt;</source>
        <translation>证件照 &gt;</translation>
    </message>
    <message>
        <source>Product Image</source>
        <translation>商品主图</translation>
    </message>
</context>
<context>
    <name>QPageChangeBg</name>
    <message>
        <source>Color</source>
        <translation>颜色</translation>
    </message>
    <message>
        <source>Template</source>
        <translation>模板</translation>
    </message>
    <message>
        <source>Custom</source>
        <translation>自定义</translation>
    </message>
    <message>
        <source>Add a picture of your own</source>
        <translation>添加自己的图片</translation>
    </message>
    <message>
        <source>More colors</source>
        <translation>更多颜色</translation>
    </message>
    <message>
        <source>Select Image</source>
        <translation>选择图片</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is too large to be used as the background.</source>
        <translation>图片“%1”太大，不能用作背景。</translation>
    </message>
    <message>
        <source>&quot;%1&quot; cannot be read as a picture, so it cannot be used as the background.</source>
        <translation>无法读取图片“%1”，不能用作背景。</translation>
    </message>
</context>
<context>
    <name>QPageCrop</name>
    <message>
        <source>Regular</source>
        <translation>常规</translation>
    </message>
    <message>
        <source>Certificate</source>
        <translation>证件照</translation>
    </message>
    <message>
        <source>Ecommerce</source>
        <translation>电商</translation>
    </message>
    <message>
        <source>W</source>
        <translation>宽</translation>
    </message>
    <message>
        <source>PX</source>
        <translation>像素</translation>
    </message>
    <message>
        <source>H</source>
        <translation>高</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Please enter a width and a height from %1 to %2 pixels.</source>
        <translation>请输入 %1 到 %2 像素之间的宽度和高度。</translation>
    </message>
</context>
<context>
    <name>QPageCutOut</name>
    <message>
        <source>Brush</source>
        <translation>画笔</translation>
    </message>
    <message>
        <source>Magic Brush</source>
        <translation>魔术笔</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>擦除</translation>
    </message>
    <message>
        <source>Keep</source>
        <translation>保留</translation>
    </message>
    <message>
        <source>Brush size</source>
        <translation>画笔大小</translation>
    </message>
    <message>
        <source>Hardness</source>
        <translation>边缘柔化</translation>
    </message>
    <message>
        <source>The smaller the range is, the softer the edge will be</source>
        <translation>范围越小，边缘越柔和</translation>
    </message>
    <message>
        <source>Tolerance</source>
        <translation>容差</translation>
    </message>
    <message>
        <source>The larger the tolerance, the larger the recognition range</source>
        <translation>容差越大，识别范围越大</translation>
    </message>
</context>
</TS>

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
        <source>Product Image</source>
        <translation>商品主图</translation>
    </message>
    <message>
        <source>ID photo &gt;</source>
        <translation>证件照 &gt;</translation>
    </message>
    <message>
        <source>Small 1-inch 259x377px  |  22x33mm</source>
        <translation>小一寸 259x377px  |  22x33mm</translation>
    </message>
    <message>
        <source>Driving licence</source>
        <translation>驾驶证</translation>
    </message>
    <message>
        <source>1-inch 295x413px  |  25x35mm</source>
        <translation>一寸 295x413px  |  25x35mm</translation>
    </message>
    <message>
        <source>Student, health and work cards, teacher certificates</source>
        <translation>学生证，健康证，工作证，中小学教师资格证等</translation>
    </message>
    <message>
        <source>Large 1-inch 390x567px  |  33x48mm</source>
        <translation>大一寸 390x567px  |  33x48mm</translation>
    </message>
    <message>
        <source>Chinese passport, Hong Kong and Macao permit, IELTS, CET</source>
        <translation>中国护照，港澳通行证，雅思考试，四六级等</translation>
    </message>
    <message>
        <source>Small 2-inch 413x531px  |  35x45mm</source>
        <translation>小二寸 413x531px  |  35x45mm</translation>
    </message>
    <message>
        <source>Some civil service exams and visas</source>
        <translation>部分公务员和部分国家签证</translation>
    </message>
    <message>
        <source>2-inch 413x579px  |  35x49mm</source>
        <translation>二寸 413x579px  |  35x49mm</translation>
    </message>
</context>
<context>
    <name>QImageCanvas</name>
    <message>
        <source>There is no picture to save yet.</source>
        <translation>还没有可以保存的图片。</translation>
    </message>
    <message>
        <source>The picture could not be encoded as %1.</source>
        <translation>无法将图片编码为 %1 格式。</translation>
    </message>
</context>
</TS>

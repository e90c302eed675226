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
    <message>
        <source>2x2 inch 600x600px  |  51x51mm</source>
        <translation>2x2 英寸 600x600px  |  51x51mm</translation>
    </message>
    <message>
        <source>U.S. passport and visa, printed</source>
        <translation>美国护照和签证（打印）</translation>
    </message>
    <message>
        <source>Digital 600x600px  |  up to 240 KB</source>
        <translation>电子版 600x600px  |  最大 240 KB</translation>
    </message>
    <message>
        <source>Visa application upload</source>
        <translation>签证申请上传</translation>
    </message>
    <message>
        <source>Digital 480x640px  |  blue</source>
        <translation>电子版 480x640px  |  蓝底</translation>
    </message>
    <message>
        <source>Student record</source>
        <translation>学籍照片</translation>
    </message>
    <message>
        <source>Digital 600x750px  |  35x45mm</source>
        <translation>电子版 600x750px  |  35x45mm</translation>
    </message>
    <message>
        <source>Passport and visa forms online</source>
        <translation>护照和签证在线申请</translation>
    </message>
    <message>
        <source>This authority does not accept digitally replaced backgrounds: use a photo taken in front of a plain light wall.</source>
        <translation>该机构不接受经数字替换的背景：请使用在纯色浅色墙前拍摄的照片。</translation>
    </message>
    <message>
        <source>Custom size in mm</source>
        <translation>自定义尺寸（毫米）</translation>
    </message>
    <message>
        <source>Width and height in millimetres at a chosen dpi</source>
        <translation>按所选 dpi 的宽度和高度（毫米）</translation>
    </message>
</context>
<context>
    <name>QIdFraming</name>
    <message>
        <source>No face found: an ID photo needs one face looking at the camera.</source>
        <translation>未找到人脸：证件照需要一张正对镜头的人脸。</translation>
    </message>
    <message numerus="yes">
        <source>%n faces found: an ID photo shows one person. The largest face is framed.</source>
        <translation>
            <numerusform>找到 %n 张人脸：证件照只能有一个人。已按最大的人脸取景。</numerusform>
        </translation>
    </message>
    <message>
        <source>The head is cut off in the photo: take one with space above the hair.</source>
        <translation>照片中的头部不完整：请使用头发上方留有空间的照片。</translation>
    </message>
    <message>
        <source>The face is too small in this photo: it is enlarged %1 times and will look blurred.</source>
        <translation>照片中的人脸太小：需放大 %1 倍，会显得模糊。</translation>
    </message>
    <message>
        <source>Head height %1 % of the photo (needed: %2)</source>
        <translation>头部高度占照片的 %1 %（要求：%2）</translation>
    </message>
    <message>
        <source>Eye line %1 % from the bottom (needed: %2)</source>
        <translation>眼睛位于距底部 %1 % 处（要求：%2）</translation>
    </message>
    <message>
        <source>Face centred</source>
        <translation>人脸居中</translation>
    </message>
    <message>
        <source>Background flat</source>
        <translation>背景纯色</translation>
    </message>
    <message>
        <source>Background not flat: choose white, blue or red for the background.</source>
        <translation>背景不是纯色：请选择白色、蓝色或红色背景。</translation>
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
    <message>
        <source>The photo is larger than the sheet chosen for printing.</source>
        <translation>照片比所选的打印相纸还大。</translation>
    </message>
    <message>
        <source>The second size does not fit on the sheet beside the photo.</source>
        <translation>第二个尺寸放不进这张相纸，无法与照片排在一起。</translation>
    </message>
</context>
<context>
    <name>QPrintSheet</name>
    <message>
        <source>6-inch sheet (4x6 in)</source>
        <translation>6 寸相纸（4x6 英寸）</translation>
    </message>
    <message>
        <source>5-inch sheet (3.5x5 in)</source>
        <translation>5 寸相纸（3.5x5 英寸）</translation>
    </message>
    <message>
        <source>A4 sheet</source>
        <translation>A4 纸</translation>
    </message>
    <message>
        <source>Single photo</source>
        <translation>单张照片</translation>
    </message>
</context>
</TS>

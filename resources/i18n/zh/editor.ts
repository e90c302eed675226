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
        <source>Undo</source>
        <translation>撤销</translation>
    </message>
    <message>
        <source>&quot;%1&quot; cannot be read as a picture, so it cannot be used as the background.</source>
        <translation>无法读取图片“%1”，不能用作背景。</translation>
    </message>
    <message>
        <source>Redo</source>
        <translation>恢复</translation>
    </message>
    <message>
        <source>(Right-drag to move the canvas)</source>
        <translation>（右键拖动画布）</translation>
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
        <source>Show the whole picture in the window; 100% shows one picture pixel per screen pixel</source>
        <translation>在窗口中显示整张图片；100% 表示一个图片像素对应一个屏幕像素</translation>
    </message>
    <message>
        <source>Fit</source>
        <translation>适应窗口</translation>
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
    <name>QDragOutHandle</name>
    <message>
        <source>Drag out</source>
        <translation>拖出</translation>
    </message>
    <message>
        <source>Drag the result into another program or a folder</source>
        <translation>把结果拖到其他程序或文件夹中</translation>
    </message>
</context>
<context>
    <name>QEraserWidget</name>
    <message>
        <source>Paint over what should go: it is filled in from its surroundings.</source>
        <translation>涂抹要去除的部分：它会按周围的内容自动填补。</translation>
    </message>
    <message>
        <source>Brush size</source>
        <translation>画笔大小</translation>
    </message>
    <message>
        <source>Undo</source>
        <translation>撤销</translation>
    </message>
    <message>
        <source>Redo</source>
        <translation>恢复</translation>
    </message>
    <message>
        <source>Fit</source>
        <translation>适应窗口</translation>
    </message>
    <message>
        <source>Open another photo</source>
        <translation>打开另一张照片</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>Apply</source>
        <translation>应用</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>保存</translation>
    </message>
    <message>
        <source>Select Image</source>
        <translation>选择图片</translation>
    </message>
    <message>
        <source>Erase objects</source>
        <translation>擦除物体</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a photo Brisel can open. Choose a JPG, PNG or BMP file.</source>
        <translation>“%1”不是 Brisel 能打开的照片。请选择 JPG、PNG 或 BMP 文件。</translation>
    </message>
</context>
<context>
    <name>QIdFramer</name>
    <message>
        <source>JPG file %1 KB (needed: %2-%3 KB)</source>
        <translation>JPG 文件 %1 KB（要求：%2-%3 KB）</translation>
    </message>
    <message>
        <source>JPG file %1 KB (needed: at least %2 KB)</source>
        <translation>JPG 文件 %1 KB（要求：至少 %2 KB）</translation>
    </message>
    <message>
        <source>No face was found in this photo, so it cannot be made into an ID photo. Choose a photo of one person facing the camera.</source>
        <translation>这张照片中未找到人脸，无法制作证件照。请选择一张单人正对镜头的照片。</translation>
    </message>
</context>
<context>
    <name>QIdPhotoPanel</name>
    <message>
        <source>Move up</source>
        <translation>上移</translation>
    </message>
    <message>
        <source>Move down</source>
        <translation>下移</translation>
    </message>
    <message>
        <source>Move left</source>
        <translation>左移</translation>
    </message>
    <message>
        <source>Move right</source>
        <translation>右移</translation>
    </message>
    <message>
        <source>Larger</source>
        <translation>放大</translation>
    </message>
    <message>
        <source>Smaller</source>
        <translation>缩小</translation>
    </message>
    <message>
        <source>White background</source>
        <translation>白色背景</translation>
    </message>
    <message>
        <source>Blue background</source>
        <translation>蓝色背景</translation>
    </message>
    <message>
        <source>Red background</source>
        <translation>红色背景</translation>
    </message>
    <message>
        <source>Background</source>
        <translation>背景</translation>
    </message>
    <message>
        <source>Position</source>
        <translation>位置</translation>
    </message>
    <message>
        <source>Save on</source>
        <translation>保存到</translation>
    </message>
    <message>
        <source>Size (mm), dpi:</source>
        <translation>尺寸（毫米）、dpi：</translation>
    </message>
    <message>
        <source> mm</source>
        <translation> 毫米</translation>
    </message>
    <message>
        <source>Gap between the copies on the sheet</source>
        <translation>相纸上各张照片之间的间距</translation>
    </message>
    <message>
        <source>With</source>
        <translation>同时打印</translation>
    </message>
    <message>
        <source>This size only</source>
        <translation>仅此尺寸</translation>
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
    <name>QImageCutoutWidget</name>
    <message>
        <source>Refining...</source>
        <translation>正在优化...</translation>
    </message>
</context>
<context>
    <name>QOutputSizeBox</name>
    <message>
        <source>Exact size</source>
        <translation>精确尺寸</translation>
    </message>
</context>
<context>
    <name>QPageAdvanced</name>
    <message>
        <source>File Size</source>
        <translation>文件大小</translation>
    </message>
    <message>
        <source>No limit</source>
        <translation>不限</translation>
    </message>
    <message>
        <source>Saved JPG files are made no larger than this; leave it empty for the best quality.</source>
        <translation>保存的JPG文件不会超过此大小；留空则以最佳画质保存。</translation>
    </message>
    <message>
        <source>KB</source>
        <translation>KB</translation>
    </message>
    <message>
        <source>Largest JPG file:</source>
        <translation>JPG 文件最大：</translation>
    </message>
    <message>
        <source>Keep location and camera serial numbers</source>
        <translation>保留拍摄位置和相机序列号</translation>
    </message>
    <message>
        <source>Off: saved files leave out where the photo was taken and the serial numbers of the camera and lens.</source>
        <translation>关闭时，保存的文件不含照片的拍摄位置以及相机和镜头的序列号。</translation>
    </message>
    <message>
        <source>Smallest JPG file:</source>
        <translation>JPG 文件最小：</translation>
    </message>
    <message>
        <source>Saved JPG files are made at least this large where the quality allows; some ID forms ask for it.</source>
        <translation>在画质允许时，保存的 JPG 文件至少为此大小；有些证件照要求如此。</translation>
    </message>
</context>
<context>
    <name>QPageBeautify</name>
    <message>
        <source>Smooth</source>
        <translation>磨皮</translation>
    </message>
    <message>
        <source>Skin tone</source>
        <translation>美白</translation>
    </message>
    <message>
        <source>Strength</source>
        <translation>强度</translation>
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
        <source>W</source>
        <translation>宽</translation>
    </message>
    <message>
        <source>H</source>
        <translation>高</translation>
    </message>
    <message>
        <source>Please enter a width and a height from %1 to %2 pixels.</source>
        <translation>请输入 %1 到 %2 像素之间的宽度和高度。</translation>
    </message>
    <message>
        <source>ID photo</source>
        <translation>证件照</translation>
    </message>
    <message>
        <source>E-commerce</source>
        <translation>电商</translation>
    </message>
    <message>
        <source>px</source>
        <translation>像素</translation>
    </message>
    <message>
        <source>Apply</source>
        <translation>确定</translation>
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
    <message>
        <source>Feather edge</source>
        <translation>边缘羽化</translation>
    </message>
    <message>
        <source>Shift edge</source>
        <translation>边缘内缩/外扩</translation>
    </message>
    <message>
        <source>On: the edge colours the matting re-estimated; off: the photo&apos;s own colours</source>
        <translation>开：使用抠图重新估算的边缘颜色；关：使用照片原有颜色</translation>
    </message>
    <message>
        <source>Decontaminate colours</source>
        <translation>去除边缘杂色</translation>
    </message>
    <message>
        <source>Products: matte the photo again with the shadow it casts kept</source>
        <translation>商品：重新抠图并保留商品投下的阴影</translation>
    </message>
    <message>
        <source>Keep shadow</source>
        <translation>保留阴影</translation>
    </message>
    <message>
        <source>Solve the area around your Keep and Remove strokes again</source>
        <translation>重新计算保留/去除笔画周围的区域</translation>
    </message>
    <message>
        <source>Refine</source>
        <translation>优化</translation>
    </message>
    <message>
        <source>Refine automatically after each stroke</source>
        <translation>每次涂抹后自动优化</translation>
    </message>
    <message>
        <source>%1 px</source>
        <translation>%1 像素</translation>
    </message>
    <message>
        <source>The photo is cut out again with or without its shadow, which discards your brush strokes and erasures on it. Go on?</source>
        <translation>照片将按保留或去除阴影重新抠图，这会丢弃您在这张照片上的画笔修改和擦除。是否继续？</translation>
    </message>
</context>
</TS>

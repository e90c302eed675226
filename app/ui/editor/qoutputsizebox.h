#pragma once

class QComboBox;

// The output-size box of the single and the batch workspace while an ID size is
// applied: an ID photo is written at its exact size, so the box shows "Exact size"
// and cannot be changed; afterwards it shows the choice it had. The box's own
// signals stay quiet, so the stored choice is never touched. GUI thread only.
class QOutputSizeBox
{
public:
    QOutputSizeBox() = delete;

    static void showExact(QComboBox* box, bool exact);
    // The value of the box's extra item.
    static constexpr int kExactData = -1;
};

#include "qoutputsizebox.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QSignalBlocker>

namespace {
constexpr char kChoiceProperty[] = "choiceBeforeExact";
} // namespace

void QOutputSizeBox::showExact(QComboBox* box, bool exact)
{
    const int extra = box->findData(kExactData);
    if (exact == (extra >= 0))
        return;
    const QSignalBlocker quiet(box);
    if (exact) {
        box->setProperty(kChoiceProperty, box->currentIndex());
        box->addItem(QCoreApplication::translate("QOutputSizeBox", "Exact size"), kExactData);
        box->setCurrentIndex(box->count() - 1);
    } else {
        box->removeItem(extra);
        box->setCurrentIndex(box->property(kChoiceProperty).toInt());
    }
    box->setEnabled(!exact);
}

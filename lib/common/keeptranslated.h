#pragma once
// Texts follow the interface language while the program runs: installing or
// removing a translator makes Qt send QEvent::LanguageChange to every widget, and a
// widget whose texts were filled in code (or from a form, by ui->retranslateUi)
// registers here to have them filled again.

#include <QWidget>

#include <functional>

// Calls `apply` now, and again on the GUI thread each time `widget` receives
// QEvent::LanguageChange. That happens before the widget's own changeEvent and
// before its children get the event, so a child's text set by its own `apply`
// wins over a parent's form that fills the same child; on one widget the
// functions run in the order they were registered. The watcher is a child of
// `widget` and goes with it; `apply` must not outlive what it captures.
void keepTranslated(QWidget* widget, std::function<void()> apply);

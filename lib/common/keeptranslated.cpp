#include "keeptranslated.h"

#include <QEvent>

#include <vector>

namespace {

const char* const kWatcherName = "languageWatcher";

// One per widget, so texts are filled again in the order they were first set: a
// form's own texts before the texts its owner sets on it afterwards. (Separate
// event filters would run the other way round.)
class LanguageWatcher : public QObject
{
public:
    explicit LanguageWatcher(QWidget* widget) : QObject(widget)
    {
        setObjectName(QLatin1String(kWatcherName));
        widget->installEventFilter(this);
    }

    void add(std::function<void()> apply) { m_applies.push_back(std::move(apply)); }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::LanguageChange && watched == parent()) {
            for (const auto& apply : m_applies)
                apply();
        }
        return false;
    }

private:
    std::vector<std::function<void()>> m_applies;
};

} // namespace

void keepTranslated(QWidget* widget, std::function<void()> apply)
{
    apply();
    QObject* watcher = widget->findChild<QObject*>(QLatin1String(kWatcherName), Qt::FindDirectChildrenOnly);
    if (!watcher)
        watcher = new LanguageWatcher(widget);
    static_cast<LanguageWatcher*>(watcher)->add(std::move(apply));
}

#include "qhistorypixmap.h"

#include <cstring>

namespace {

// zlib's fastest level: masks are long runs, and an XOR of two masks is mostly
// zeros, so the higher levels gain little and cost a lot on 24-megapixel states.
constexpr int kCompressionLevel = 1;

int bytesPerPixel(const QImage& image)
{
    return image.depth() % 8 == 0 ? image.depth() / 8 : 0;
}

bool sameLayout(const QImage& a, const QImage& b)
{
    return !a.isNull() && !b.isNull() && a.size() == b.size() && a.format() == b.format() &&
           bytesPerPixel(a) > 0;
}

// Smallest rectangle inside `area` outside of which the two images are byte for
// byte equal (the caller knows they are equal outside `area`).
QRect differingRect(const QImage& a, const QImage& b, const QRect& area)
{
    const int bpp = bytesPerPixel(a);
    const int rowBytes = area.width() * bpp;
    int left = area.right() + 1, right = area.left() - 1, top = -1, bottom = -1;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const uchar* ra = a.constScanLine(y);
        const uchar* rb = b.constScanLine(y);
        if (std::memcmp(ra + area.left() * bpp, rb + area.left() * bpp, rowBytes) == 0)
            continue;
        if (top < 0)
            top = y;
        bottom = y;
        // Only the parts outside the columns already known to differ need a look.
        int x = area.left();
        while (x < left && std::memcmp(ra + x * bpp, rb + x * bpp, bpp) == 0)
            ++x;
        left = std::min(left, x);
        x = area.right();
        while (x > right && std::memcmp(ra + x * bpp, rb + x * bpp, bpp) == 0)
            --x;
        right = std::max(right, x);
    }
    if (top < 0)
        return QRect();
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

void copyArea(QImage& to, const QImage& from, const QRect& area)
{
    const int bpp = bytesPerPixel(from);
    for (int y = area.top(); y <= area.bottom(); ++y)
        std::memcpy(to.scanLine(y) + area.left() * bpp, from.constScanLine(y) + area.left() * bpp,
                    size_t(area.width()) * bpp);
}

} // namespace

QHistoryPixmap::QHistoryPixmap(QObject* parent) : QObject(parent) {}

void QHistoryPixmap::push(const QImage& state, const QRect& changed)
{
    m_entries.resize(m_current + 1);
    m_entries.append(makeEntry(m_image, state, changed));
    const Entry& entry = m_entries.last();
    if (entry.key.isNull()) {
        copyArea(m_image, state, entry.rect);
        m_lastChange = entry.rect;
    } else {
        m_image = state;
        m_lastChange = state.rect();
    }
    m_current = m_entries.size() - 1;
}

QHistoryPixmap::Entry QHistoryPixmap::makeEntry(const QImage& previous, const QImage& next,
                                                const QRect& changed) const
{
    Entry entry;
    if (!sameLayout(previous, next)) {
        entry.key = next;
        return entry;
    }
    entry.rect = differingRect(previous, next, changed.isNull() ? next.rect() : changed & next.rect());
    if (entry.rect.isEmpty())
        return entry;
    const int bpp = bytesPerPixel(next);
    const int rowBytes = entry.rect.width() * bpp;
    QByteArray delta(rowBytes * entry.rect.height(), Qt::Uninitialized);
    uchar* out = reinterpret_cast<uchar*>(delta.data());
    for (int y = entry.rect.top(); y <= entry.rect.bottom(); ++y) {
        const uchar* a = previous.constScanLine(y) + entry.rect.left() * bpp;
        const uchar* b = next.constScanLine(y) + entry.rect.left() * bpp;
        for (int i = 0; i < rowBytes; ++i)
            *out++ = a[i] ^ b[i];
    }
    entry.packed = qCompress(delta, kCompressionLevel);
    return entry;
}

// XOR is its own inverse, so the same change moves a state forward and back.
void QHistoryPixmap::applyChange(QImage& image, const Entry& entry)
{
    if (entry.rect.isEmpty())
        return;
    const QByteArray delta = qUncompress(entry.packed);
    const int bpp = bytesPerPixel(image);
    const int rowBytes = entry.rect.width() * bpp;
    if (delta.size() != rowBytes * entry.rect.height())
        return;
    const uchar* in = reinterpret_cast<const uchar*>(delta.constData());
    for (int y = entry.rect.top(); y <= entry.rect.bottom(); ++y) {
        uchar* row = image.scanLine(y) + entry.rect.left() * bpp;
        for (int i = 0; i < rowBytes; ++i)
            row[i] ^= *in++;
    }
}

QImage QHistoryPixmap::rebuild(int index) const
{
    if (index < 0 || index >= m_entries.size())
        return QImage();
    if (index == m_current)
        return m_image;
    int base = index;
    while (m_entries[base].key.isNull())
        --base; // entry 0 always is a key, so this stops
    QImage image = m_entries[base].key;
    for (int i = base + 1; i <= index; ++i)
        applyChange(image, m_entries[i]);
    return image;
}

QImage QHistoryPixmap::undoImage()
{
    if (m_current < 1 || m_current >= m_entries.size())
        return QImage();
    const Entry& leaving = m_entries[m_current];
    if (leaving.key.isNull()) {
        applyChange(m_image, leaving);
        m_lastChange = leaving.rect;
    } else {
        m_image = rebuild(m_current - 1);
        m_lastChange = m_image.rect();
    }
    --m_current;
    return m_image;
}

QImage QHistoryPixmap::redoImage()
{
    if (m_current < 0 || m_current + 1 >= m_entries.size())
        return QImage();
    const Entry& entering = m_entries[m_current + 1];
    if (entering.key.isNull()) {
        applyChange(m_image, entering);
        m_lastChange = entering.rect;
    } else {
        m_image = entering.key;
        m_lastChange = m_image.rect();
    }
    ++m_current;
    return m_image;
}

void QHistoryPixmap::applyCurrentTo(QImage& target) const
{
    if (m_lastChange == m_image.rect() || !sameLayout(target, m_image))
        target = m_image;
    else if (!m_lastChange.isEmpty())
        copyArea(target, m_image, m_lastChange);
}

void QHistoryPixmap::push(const QPixmap& state)
{
    push(state.toImage());
}

QPixmap QHistoryPixmap::undo()
{
    return QPixmap::fromImage(undoImage());
}

QPixmap QHistoryPixmap::redo()
{
    return QPixmap::fromImage(redoImage());
}

void QHistoryPixmap::clear()
{
    m_entries.clear();
    m_image = QImage();
    m_current = -1;
    m_lastChange = QRect();
}

bool QHistoryPixmap::canUndo() const
{
    return m_current >= 1 && m_current < m_entries.size();
}

bool QHistoryPixmap::canRedo() const
{
    return m_current >= 0 && m_current < m_entries.size() - 1;
}

QImage QHistoryPixmap::state(int index) const
{
    return rebuild(index);
}

QMap<int, QPixmap> QHistoryPixmap::entries() const
{
    QMap<int, QPixmap> all;
    for (int i = 0; i < m_entries.size(); ++i)
        all.insert(i, QPixmap::fromImage(rebuild(i)));
    return all;
}

qint64 QHistoryPixmap::storedBytes() const
{
    qint64 bytes = 0;
    for (int i = 0; i < m_entries.size(); ++i) {
        bytes += m_entries[i].packed.size();
        if (!m_entries[i].key.isNull())
            bytes += m_entries[i].key.sizeInBytes();
    }
    return bytes;
}

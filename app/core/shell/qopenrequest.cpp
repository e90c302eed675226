#include "qopenrequest.h"

#include <QCommandLineParser>
#include <QDataStream>
#include <QFileInfo>
#include <QIODevice>
#include <QUrl>

#include <iterator>

namespace {
// The words of --type, in MattingType order.
const char* const kTypes[] = {"person", "product", "id"};
constexpr quint8 kFormat = 1; // first byte of an encoded request
} // namespace

QOpenRequest::Outcome QOpenRequest::parse(const QStringList& arguments, QOpenRequest* request, QString* text)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(tr("Removes the background of photos."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption type(QStringLiteral("type"),
                                  tr("What the photos show: person, product or id (an ID photo)."),
                                  QStringLiteral("type"), QString::fromLatin1(kTypes[0]));
    parser.addOption(type);
    parser.addPositionalArgument(
        QStringLiteral("photos"),
        tr("One photo opens for editing; several open together in the batch workspace."),
        QStringLiteral("[photo...]"));
    if (!parser.parse(arguments)) {
        *text = parser.errorText() + '\n' + parser.helpText();
        return UsageError;
    }
    if (parser.isSet(help)) {
        *text = parser.helpText();
        return Help;
    }
    const QString word = parser.value(type).toLower();
    int found = -1;
    for (int i = 0; i < int(std::size(kTypes)); ++i)
        found = word == QLatin1String(kTypes[i]) ? i : found;
    if (found < 0) {
        *text =
            tr("Unknown photo type \"%1\": use person, product or id.").arg(word) + '\n' + parser.helpText();
        return UsageError;
    }
    request->type = found;
    request->paths.clear();
    // A file manager may pass file: URLs.
    for (const QString& argument : parser.positionalArguments()) {
        const QUrl url(argument);
        request->paths << QFileInfo(url.isLocalFile() ? url.toLocalFile() : argument).absoluteFilePath();
    }
    return Open;
}

QByteArray QOpenRequest::encode() const
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << kFormat << qint32(type) << paths;
    return bytes;
}

bool QOpenRequest::decode(const QByteArray& bytes, QOpenRequest* request)
{
    QDataStream in(bytes);
    quint8 format = 0;
    qint32 type = -1;
    QStringList paths;
    in >> format >> type >> paths;
    if (in.status() != QDataStream::Ok || format != kFormat || type < 0 || type >= int(std::size(kTypes)))
        return false;
    request->type = type;
    request->paths = paths;
    return true;
}

#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <QStringList>

// Photos named when the program starts ("brisel [--type person|product|id] PHOTO...",
// paths or file: URLs), either for this copy or handed over to the copy already
// running. The paths are made absolute where they were given, so they still name the
// same files in another process with another working folder. A plain value; any thread.
struct QOpenRequest
{
    Q_DECLARE_TR_FUNCTIONS(QOpenRequest)

public:
    enum Outcome
    {
        Open,      // run with the request (its paths may be empty)
        Help,      // print `text` on stdout and end with 0
        UsageError // print `text` on stderr and end with kUsageExit
    };
    static constexpr int kUsageExit = 2;

    // A MattingType: 0 person, 1 product, 2 ID photo.
    int type = 0;
    QStringList paths;

    // Reads the command line (arguments()[0] is the program). For Help and
    // UsageError *text says what to print; the request is then left as it was.
    static Outcome parse(const QStringList& arguments, QOpenRequest* request, QString* text);

    // The bytes sent between copies, and back; false for bytes that are not one.
    QByteArray encode() const;
    static bool decode(const QByteArray& bytes, QOpenRequest* request);
};

#include "app/application.h"

#include <QApplication>
#include <QFont>
#include <QImageReader>

int main(int argc, char *argv[])
{
    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("lumora-viewer"));
    // The windows are measured for a narrow sans-serif; where that face is missing, a
    // condensed one keeps captions inside their boxes.
    QFont::insertSubstitution(QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed"));
    // A picture that would need more than this many megabytes of pixels is refused.
    QImageReader::setAllocationLimit(256);

    AppEnvironment env;
    bool ok = false;
    const int timeoutSeconds = qEnvironmentVariableIntValue("LUMORA_TRANSFER_TIMEOUT", &ok);
    if (ok && timeoutSeconds > 0)
        env.transferTimeoutMs = timeoutSeconds * 1000;

    // A failed start-up has shown its stop message and ends the program itself.
    Application app(env);
    app.start();
    return qapp.exec();
}

#include "app/commandline.h"

#include "core/state/texts.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

namespace {

const QString Help = QStringLiteral("help");
const QString Version = QStringLiteral("version");
const QString Platform = QStringLiteral("platform");
const QString Display = QStringLiteral("display");

// QApplication reads these itself; they are accepted here only so that they are not
// refused as unknown, and kept out of the help.
void addQtOptions(QCommandLineParser &parser)
{
    const QStringList withValue {Platform, QStringLiteral("platformpluginpath"), QStringLiteral("platformtheme"),
                                 QStringLiteral("plugin"), QStringLiteral("qwindowgeometry"),
                                 QStringLiteral("qwindowicon"), QStringLiteral("qwindowtitle"),
                                 QStringLiteral("session"), Display, QStringLiteral("geometry"),
                                 QStringLiteral("title"), QStringLiteral("icon"), QStringLiteral("name"),
                                 QStringLiteral("style"), QStringLiteral("stylesheet"),
                                 QStringLiteral("qmljsdebugger")};
    const QStringList flags {QStringLiteral("reverse"), QStringLiteral("widgetcount"), QStringLiteral("nograb"),
                             QStringLiteral("dograb")};
    for (const QString &name : withValue) {
        QCommandLineOption option(name, QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const QString &name : flags) {
        QCommandLineOption option(name);
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

// The viewer's own options go here, and what they set into CommandLine.
void addViewerOptions(QCommandLineParser &parser)
{
    parser.addOption(QCommandLineOption({QStringLiteral("h"), Help}, QStringLiteral("Show this help and exit.")));
    parser.addOption(QCommandLineOption({QStringLiteral("v"), Version}, QStringLiteral("Show the version and exit.")));
}

QString usageText(const QCommandLineParser &parser)
{
    // helpText() names the program from a running application, and there is none yet.
    QString options = parser.helpText();
    options = options.mid(options.indexOf(QLatin1Char('\n')) + 1);
    return QStringLiteral("Usage: lumora-viewer [options]\n") + options;
}

} // namespace

CommandLine parseCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Shows public webcams from the cam list named in config.ini in the working folder."));
    // Qt's own options are single-dash words (-platform offscreen), so single-dash words are
    // whole option names; -h and -v still work.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    addViewerOptions(parser);
    addQtOptions(parser);

    CommandLine result;
    result.usage = usageText(parser);
    if (!parser.parse(arguments)) {
        result.action = CommandLine::Action::UsageError;
        result.error = parser.errorText();
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.action = CommandLine::Action::UsageError;
        result.error = QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().constFirst());
        return result;
    }
    if (parser.isSet(Help))
        result.action = CommandLine::Action::ShowHelp;
    else if (parser.isSet(Version))
        result.action = CommandLine::Action::ShowVersion;
    result.platform = parser.value(Platform);
    result.display = parser.value(Display);
    return result;
}

QString versionLine()
{
    return texts::AppTitle + QStringLiteral(" version ") + QStringLiteral(LUMORA_VERSION);
}

bool canReachDisplay(const QString &platform, const QString &display, const QString &waylandDisplay)
{
    const QStringList candidates = platform.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    if (candidates.isEmpty())
        return !display.isEmpty() || !waylandDisplay.isEmpty();
    for (const QString &candidate : candidates) {
        // A platform may carry arguments after a colon (offscreen:size=...).
        const QString name = candidate.section(QLatin1Char(':'), 0, 0).trimmed().toLower();
        if (name == QLatin1String("xcb")) {
            if (!display.isEmpty())
                return true;
        } else if (name.startsWith(QLatin1String("wayland"))) {
            if (!waylandDisplay.isEmpty())
                return true;
        } else {
            return true;
        }
    }
    return false;
}

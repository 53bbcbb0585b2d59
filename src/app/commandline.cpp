#include "app/commandline.h"

#include "core/rules/countdown.h"
#include "core/state/texts.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

#include <utility>

namespace {

const QString Help = QStringLiteral("help");
const QString Version = QStringLiteral("version");
const QString Platform = QStringLiteral("platform");
const QString Display = QStringLiteral("display");
const QString Fullscreen = QStringLiteral("fullscreen");
const QString Cam = QStringLiteral("cam");
const QString Shuffle = QStringLiteral("shuffle");
const QString Refresh = QStringLiteral("refresh");
const QString MaxFps = QStringLiteral("max-fps");
constexpr int MaxFramesPerSecond = 120;
const QString Scale = QStringLiteral("scale");
const QString Config = QStringLiteral("config");

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
    parser.addOption(QCommandLineOption(
        Config, QStringLiteral("Read this config file; its folder holds the working files."), QStringLiteral("FILE")));
    parser.addOption(QCommandLineOption(Fullscreen, QStringLiteral("Start in the fullscreen window.")));
    parser.addOption(QCommandLineOption(
        Cam, QStringLiteral("Start on the cam with this id instead of a random one."), QStringLiteral("ID")));
    parser.addOption(QCommandLineOption(
        Shuffle, QStringLiteral("Start with auto shuffle on, a new cam every SECONDS."), QStringLiteral("SECONDS")));
    parser.addOption(QCommandLineOption(
        Refresh, QStringLiteral("Refresh interval in seconds (5 when not given)."), QStringLiteral("SECONDS")));
    parser.addOption(QCommandLineOption(
        Scale, QStringLiteral("Scale mode: stretch, inline or outline (inline when not given)."), QStringLiteral("MODE")));
    parser.addOption(QCommandLineOption(
        MaxFps, QStringLiteral("Show a live cam's frames at most N times a second (10 when not given)."), QStringLiteral("N")));
}

// An interval the toolbar's boxes would run on, as they read it: the option goes into the
// box as if typed, so it takes exactly what the box takes.
std::optional<QString> intervalValue(const QString &text)
{
    if (const std::optional<int> seconds = countdown::intervalSeconds(text))
        return QString::number(*seconds);
    return std::nullopt;
}

std::optional<ViewScaleMode> scaleModeValue(const QString &text)
{
    if (text == QLatin1String("stretch"))
        return ViewScaleMode::Stretch;
    if (text == QLatin1String("inline"))
        return ViewScaleMode::ScaleInline;
    if (text == QLatin1String("outline"))
        return ViewScaleMode::ScaleOutline;
    return std::nullopt;
}

// The start options, or the reason one of them is refused.
std::optional<QString> readStartOptions(const QCommandLineParser &parser, StartOptions &start)
{
    start.fullscreen = parser.isSet(Fullscreen);
    start.camId = parser.value(Cam);
    if (parser.isSet(Cam) && start.camId.trimmed().isEmpty())
        return QStringLiteral("--cam needs a cam id.");
    for (const auto &[name, target] : {std::pair{Shuffle, &start.shuffleSeconds}, std::pair{Refresh, &start.refreshSeconds}}) {
        if (!parser.isSet(name))
            continue;
        *target = intervalValue(parser.value(name));
        if (!*target)
            return QStringLiteral("--%1 takes whole seconds from 0 to %2, not '%3'.")
                .arg(name).arg(countdown::MaxIntervalSeconds).arg(parser.value(name));
    }
    if (parser.isSet(Scale)) {
        start.scaleMode = scaleModeValue(parser.value(Scale));
        if (!start.scaleMode)
            return QStringLiteral("--scale takes stretch, inline or outline, not '%1'.").arg(parser.value(Scale));
    }
    if (parser.isSet(MaxFps)) {
        bool number = false;
        const int fps = parser.value(MaxFps).toInt(&number);
        if (!number || fps < 1 || fps > MaxFramesPerSecond)
            return QStringLiteral("--max-fps takes a whole number from 1 to %1, not '%2'.")
                .arg(MaxFramesPerSecond).arg(parser.value(MaxFps));
        start.maxFramesPerSecond = fps;
    }
    return std::nullopt;
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
        QStringLiteral("Shows public webcams from the cam list named in config.ini: the one in the working folder,\n"
                       "else $XDG_CONFIG_HOME/lumora-viewer/config.ini (~/.config/lumora-viewer/config.ini)."));
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
    else if (const auto refused = readStartOptions(parser, result.start)) {
        result.action = CommandLine::Action::UsageError;
        result.error = *refused;
        return result;
    }
    if (result.action == CommandLine::Action::Run && parser.isSet(Config) && parser.value(Config).isEmpty()) {
        result.action = CommandLine::Action::UsageError;
        result.error = QStringLiteral("--config needs a file.");
        return result;
    }
    result.configFile = parser.value(Config);
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

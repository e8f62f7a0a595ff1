#include "shell/CommandLine.h"

#include <QCommandLineParser>

namespace shell {
namespace {

const QString kProgram = QStringLiteral("tiny-installer");

struct OptionText {
    const char *names;  // as shown
    const char *description;
};

// The order and the words of --help, which is also the manual page's OPTIONS section.
constexpr OptionText kOptions[] = {
    {"--unattended", "install without a window: Install is taken as pressed at once; needs --accept-license"},
    {"--accept-license", "accept the licence agreement and the privacy statement (required with --unattended)"},
    {"--json", "with --unattended: end with one JSON object on standard output instead of a sentence"},
    {"--remove", "remove the installed product, its menu entry and the version file (asks first; with --unattended, does not)"},
    {"-h, --help", "print this help and exit"},
    {"-V, --version", "print the installer's version and exit"},
};

}  // namespace

CommandLine CommandLine::parse(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("V"), QStringLiteral("version")});
    const QCommandLineOption unattended(QStringLiteral("unattended"));
    const QCommandLineOption acceptLicense(QStringLiteral("accept-license"));
    const QCommandLineOption json(QStringLiteral("json"));
    const QCommandLineOption remove(QStringLiteral("remove"));
    // The arguments other programs have always started the installer with; read elsewhere.
    const QCommandLineOption installSilent(QStringLiteral("installSilent"));
    const QCommandLineOption updateSilent(QStringLiteral("updateSilent"));
    for (const QCommandLineOption &option : {help, version, unattended, acceptLicense, json, remove, installSilent, updateSilent})
        parser.addOption(option);

    CommandLine result;
    if (!parser.parse(arguments)) {
        result.action = Action::Usage;
        result.error = parser.errorText();
        return result;
    }
    if (parser.isSet(help)) {
        result.action = Action::Help;
        return result;
    }
    if (parser.isSet(version)) {
        result.action = Action::Version;
        return result;
    }
    result.unattended = parser.isSet(unattended);
    result.acceptLicense = parser.isSet(acceptLicense);
    result.json = parser.isSet(json);
    result.remove = parser.isSet(remove);
    if (result.json && !result.unattended) {
        result.action = Action::Usage;
        result.error = QStringLiteral("--json goes with --unattended");
    }
    return result;
}

QString CommandLine::helpText()
{
    QString text = QStringLiteral(
        "Usage: %1 [OPTION]... [COMMAND-URL]\n"
        "Downloads, verifies and installs the application this installer was built for, into the\n"
        "applications folder that its Info.plist names; with a window, or unattended from a terminal.\n"
        "\n"
        "Options:\n").arg(kProgram);
    for (const OptionText &option : kOptions)
        text += QStringLiteral("  %1  %2\n").arg(QString::fromLatin1(option.names).leftJustified(18), QString::fromLatin1(option.description));
    text += QStringLiteral(
        "\n"
        "A COMMAND-URL (such as qsd://licenseAgreement) is handed to the running installer, or\n"
        "answered once this one has started.\n"
        "\n"
        "Exit status:\n"
        "  0   placed (or removed); a window run always ends with 0\n"
        "  3   already installed, the same build or a newer one: nothing changed (nothing to remove)\n"
        "  10  no network, or the configuration could not be fetched or used\n"
        "  11  the download failed after every attempt\n"
        "  12  the archive's signature was refused\n"
        "  13  not enough free space\n"
        "  14  the system is too old\n"
        "  15  the archive could not be extracted, or its contents were refused\n"
        "  16  placement failed\n"
        "  17  the authorisation was refused\n"
        "  18  --unattended without --accept-license\n"
        "  19  another installer runs for this person\n"
        "  20  what stands at the product's place is not ours to remove\n"
        "  64  usage; 70 crash; 128+N ended by signal N (130 SIGINT, 143 SIGTERM)\n");
    return text;
}

QString CommandLine::versionText()
{
    return QStringLiteral("%1 %2\n").arg(kProgram, QStringLiteral(TI_VERSION));
}

QString CommandLine::usageText()
{
    return QStringLiteral("Try '%1 --help' for more information.\n").arg(kProgram);
}

}  // namespace shell

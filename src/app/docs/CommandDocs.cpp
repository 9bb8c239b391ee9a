#include "CommandDocs.h"

#include "app/Cli.h"

#include <QRegularExpression>
#include <QSet>

namespace pierline::cli {
namespace {

QString capturedHelp(const std::function<int()>& run) {
    CapturedOutput capture;
    setCapturedOutput(&capture);
    run();
    setCapturedOutput(nullptr);
    return QString::fromUtf8(capture.out);
}

QStringList optionsNamedIn(const QStringList& helps) {
    static const QRegularExpression option(QStringLiteral("(?<![\\w-])--([a-z][a-z0-9-]*)"));
    // Every command takes these, whether its help lists them or not.
    QSet<QString> found{QStringLiteral("--help"), QStringLiteral("--verbose")};
    for (const QString& help : helps) {
        for (auto it = option.globalMatch(help); it.hasNext();)
            found.insert(QStringLiteral("--") + it.next().captured(1));
    }
    QStringList sorted(found.begin(), found.end());
    sorted.sort();
    return sorted;
}

// Text for roff: no request at a line's start, backslashes and minus signs as roff spells them.
QString roffText(const QString& text) {
    QStringList lines;
    for (QString line : text.split(QLatin1Char('\n'))) {
        line.replace(QLatin1Char('\\'), QStringLiteral("\\e")).replace(QLatin1Char('-'), QStringLiteral("\\-"));
        if (line.startsWith(QLatin1Char('.')) || line.startsWith(QLatin1Char('\'')))
            line.prepend(QStringLiteral("\\&"));
        lines.append(line);
    }
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines.join(QLatin1Char('\n'));
}

QString commandNames(const QList<CommandDoc>& docs) {
    QStringList names;
    for (const CommandDoc& doc : docs)
        names.append(doc.name);
    return names.join(QLatin1Char(' '));
}

QString singleQuoted(QString text) {
    return QLatin1Char('\'') + text.replace(QLatin1Char('\''), QStringLiteral("'\\''")) + QLatin1Char('\'');
}

} // namespace

QStringList extraTopLevelWords() {
    return {QStringLiteral("help")};
}

QString topLevelHelp() {
    return capturedHelp([] { return runCommand({QStringLiteral("--help")}, false); });
}

QList<CommandDoc> collectCommandDocs() {
    QList<CommandDoc> docs;
    for (const Command& command : commands()) {
        CommandDoc doc;
        doc.name = command.name;
        doc.summary = command.summary;
        doc.help = capturedHelp([&] { return command.run({QStringLiteral("--help")}); });
        for (const RouteEntry& route : command.routes) {
            if (route.subcommand.isEmpty() || doc.subcommands.contains(route.subcommand))
                continue;
            doc.subcommands.append(route.subcommand);
            const QString help = capturedHelp([&] {
                return command.run({route.subcommand, QStringLiteral("--help")});
            });
            doc.subcommandHelps.append(help);
            doc.subcommandOptions.append(optionsNamedIn({help}));
        }
        doc.options = optionsNamedIn(QStringList(doc.subcommandHelps) << doc.help);
        docs.append(doc);
    }
    return docs;
}

QString manPage(const QList<CommandDoc>& docs, const QString& topHelp, const QString& version) {
    QStringList page;
    page << QStringLiteral(".TH PIERLINE 1 \"\" \"pierline %1\" \"User Commands\"").arg(version);
    page << QStringLiteral(".SH NAME")
         << QStringLiteral("pierline \\- save layouts of the Dock as presets and switch "
                           "between them");
    page << QStringLiteral(".SH SYNOPSIS") << QStringLiteral(".B pierline")
         << QStringLiteral("[\\fB\\-v\\fR] \\fIcommand\\fR [\\fIoptions\\fR]");
    page << QStringLiteral(".SH DESCRIPTION") << QStringLiteral(".nf") << roffText(topHelp) << QStringLiteral(".fi");
    page << QStringLiteral(".PP")
         << QStringLiteral("Everything Pierline keeps lives under one folder, its home: the emulated Dock's "
                           "preferences, the preset store, the settings and the sample apps.");
    page << QStringLiteral(".SH COMMANDS");
    for (const CommandDoc& doc : docs) {
        page << QStringLiteral(".SS %1").arg(roffText(doc.name)) << roffText(doc.summary);
        page << QStringLiteral(".PP") << QStringLiteral(".nf") << roffText(doc.help) << QStringLiteral(".fi");
        for (qsizetype i = 0; i < doc.subcommands.size(); ++i) {
            const QString& help = doc.subcommandHelps[i];
            if (help.trimmed().isEmpty() || help == doc.help)
                continue;
            page << QStringLiteral(".PP") << QStringLiteral(".nf") << roffText(help) << QStringLiteral(".fi");
        }
    }
    page << QStringLiteral(".SH ENVIRONMENT");
    page << QStringLiteral(".TP") << QStringLiteral(".B PIERLINE_HOME")
         << QStringLiteral("The home every command works on (default "
                           "\\fI${XDG_DATA_HOME:\\-$HOME/.local/share}/pierline/home\\fR). A home that is named here "
                           "must exist for the commands that only read.");
    page << QStringLiteral(".TP") << QStringLiteral(".B PIERLINE_VERBOSE")
         << QStringLiteral("Set to 1 to print progress lines on standard error, as \\fB\\-v\\fR does.");
    page << QStringLiteral(".TP") << QStringLiteral(".B PIERLINE_TOOLS_DIR")
         << QStringLiteral("The folder of the emulated tools (defaults, dockutil, killall, PlistBuddy) and of the "
                           "app; by default \\fI../libexec/pierline\\fR beside the program.");
    page << QStringLiteral(".SH EXIT STATUS")
         << QStringLiteral("0 done, 1 failed (the message on standard error), "
                           "2 usage.");
    page << QStringLiteral(".SH FILES");
    page << QStringLiteral(".TP") << QStringLiteral(".I $XDG_CONFIG_HOME/autostart/pierline.desktop")
         << QStringLiteral("Written while the launchAtLogin setting is true; starts \\fBpierline run\\fR at login.");
    page << QStringLiteral(".TP") << QStringLiteral(".I pierline.service")
         << QStringLiteral("A systemd user unit that runs \\fBpierline run\\fR; enable it with "
                           "\\fBsystemctl \\-\\-user enable \\-\\-now pierline.service\\fR.");
    return page.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString bashCompletion(const QList<CommandDoc>& docs) {
    QStringList lines;
    lines << QStringLiteral("# bash completion for pierline, generated from its command table")
          << QStringLiteral("_pierline() {") << QStringLiteral("    local cur=${COMP_WORDS[COMP_CWORD]} i")
          << QStringLiteral("    local -a words=()") << QStringLiteral("    for ((i = 1; i < COMP_CWORD; i++)); do")
          << QStringLiteral("        case ${COMP_WORDS[i]} in -*) ;; *) words+=(\"${COMP_WORDS[i]}\") ;; esac")
          << QStringLiteral("    done") << QStringLiteral("    local names= options=");
    lines << QStringLiteral("    if ((${#words[@]} == 0)); then")
          << QStringLiteral("        names=%1")
                 .arg(singleQuoted(commandNames(docs) + QLatin1Char(' ') + extraTopLevelWords().join(QLatin1Char(' '))))
          << QStringLiteral("        options='-v --verbose -h --help'") << QStringLiteral("    else")
          << QStringLiteral("        case ${words[0]} in");
    lines << QStringLiteral("        help) ((${#words[@]} == 1)) && names=%1 ;;").arg(singleQuoted(commandNames(docs)));
    for (const CommandDoc& doc : docs) {
        lines << QStringLiteral("        %1)").arg(doc.name);
        if (!doc.subcommands.isEmpty()) {
            lines << QStringLiteral("            ((${#words[@]} == 1)) && names=%1")
                         .arg(singleQuoted(doc.subcommands.join(QLatin1Char(' '))));
        }
        lines << QStringLiteral("            options=%1").arg(singleQuoted(doc.options.join(QLatin1Char(' '))));
        if (!doc.subcommands.isEmpty()) {
            lines << QStringLiteral("            case ${words[1]:-} in");
            for (qsizetype i = 0; i < doc.subcommands.size(); ++i) {
                lines << QStringLiteral("            %1) options=%2 ;;")
                             .arg(doc.subcommands[i], singleQuoted(doc.subcommandOptions[i].join(QLatin1Char(' '))));
            }
            lines << QStringLiteral("            esac");
        }
        lines << QStringLiteral("            ;;");
    }
    lines << QStringLiteral("        esac") << QStringLiteral("    fi");
    lines << QStringLiteral("    if [[ $cur == -* ]]; then")
          << QStringLiteral("        COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))") << QStringLiteral("    else")
          << QStringLiteral("        COMPREPLY=($(compgen -W \"$names\" -- \"$cur\"))") << QStringLiteral("    fi")
          << QStringLiteral("}") << QStringLiteral("complete -o default -F _pierline pierline");
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString zshCompletion(const QList<CommandDoc>& docs) {
    QStringList lines;
    lines << QStringLiteral("#compdef pierline") << QStringLiteral("# generated from pierline's command table")
          << QStringLiteral("_pierline() {") << QStringLiteral("    local -a commands subs opts args")
          << QStringLiteral("    commands=(");
    for (const CommandDoc& doc : docs) {
        QString summary = doc.summary;
        summary.replace(QLatin1Char(':'), QStringLiteral("\\:"));
        lines << QStringLiteral("        %1").arg(singleQuoted(doc.name + QLatin1Char(':') + summary));
    }
    lines << QStringLiteral("        'help:Show the help of pierline or of one command.'") << QStringLiteral("    )");
    lines << QStringLiteral("    args=(${${words[2,CURRENT-1]}:#-*})")
          << QStringLiteral("    if (( ${#args} == 0 )); then")
          << QStringLiteral("        if [[ $PREFIX == -* ]]; then compadd -- -v --verbose -h --help")
          << QStringLiteral("        else _describe -t commands 'pierline command' commands; fi")
          << QStringLiteral("        return") << QStringLiteral("    fi") << QStringLiteral("    case $args[1] in")
          << QStringLiteral("        help) subs=(%1) ;;").arg(commandNames(docs));
    for (const CommandDoc& doc : docs) {
        lines << QStringLiteral("        %1) subs=(%2); opts=(%3) ;;")
                     .arg(doc.name, doc.subcommands.join(QLatin1Char(' ')), doc.options.join(QLatin1Char(' ')));
    }
    lines << QStringLiteral("    esac") << QStringLiteral("    case \"$args[1] $args[2]\" in");
    for (const CommandDoc& doc : docs) {
        for (qsizetype i = 0; i < doc.subcommands.size(); ++i) {
            lines << QStringLiteral("        %1) opts=(%2) ;;")
                         .arg(singleQuoted(doc.name + QLatin1Char(' ') + doc.subcommands[i]),
                              doc.subcommandOptions[i].join(QLatin1Char(' ')));
        }
    }
    lines << QStringLiteral("    esac") << QStringLiteral("    if [[ $PREFIX == -* ]]; then compadd -- $opts")
          << QStringLiteral("    elif (( ${#args} == 1 && ${#subs} )); then compadd -- $subs")
          << QStringLiteral("    else _files; fi") << QStringLiteral("}") << QStringLiteral("_pierline \"$@\"");
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString fishCompletion(const QList<CommandDoc>& docs) {
    const QString all = commandNames(docs) + QLatin1Char(' ') + extraTopLevelWords().join(QLatin1Char(' '));
    QStringList lines;
    lines << QStringLiteral("# fish completion for pierline, generated from its command table");
    lines << QStringLiteral("complete -c pierline -s v -l verbose -d 'Also print progress lines on standard error'");
    lines << QStringLiteral("complete -c pierline -n 'not __fish_seen_subcommand_from %1' -f -a help -d %2")
                 .arg(all, singleQuoted(QStringLiteral("Show the help of pierline or of one command.")));
    lines << QStringLiteral("complete -c pierline -n '__fish_seen_subcommand_from help' -f -a %1")
                 .arg(singleQuoted(commandNames(docs)));
    for (const CommandDoc& doc : docs) {
        lines << QStringLiteral("complete -c pierline -n 'not __fish_seen_subcommand_from %1' -f -a %2 -d %3")
                     .arg(all, doc.name, singleQuoted(doc.summary));
        if (!doc.subcommands.isEmpty()) {
            const QString subs = doc.subcommands.join(QLatin1Char(' '));
            lines << QStringLiteral("complete -c pierline -n '__fish_seen_subcommand_from %1; and not "
                                    "__fish_seen_subcommand_from %2' -f -a %3")
                         .arg(doc.name, subs, singleQuoted(subs));
        }
        for (const QString& option : doc.options) {
            lines << QStringLiteral("complete -c pierline -n '__fish_seen_subcommand_from %1' -l %2")
                         .arg(doc.name, option.mid(2));
        }
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

} // namespace pierline::cli

#include "completion.h"

namespace {

// "-q" or "--quiet".
QString Dashed(const QString& AName) {
    return (AName.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + AName;
}

QString LongName(const QCommandLineOption& AOption) {
    for (const QString& n : AOption.names())
        if (n.size() > 1)
            return n;
    return AOption.names().front();
}

bool TakesValue(const QCommandLineOption& AOption) {
    return !AOption.valueName().isEmpty();
}

// Options after which nothing else is done: the help and the version.
bool EndsTheRun(const QCommandLineOption& AOption) {
    const QString name = LongName(AOption);
    return name == u"help" || name == u"version";
}

TValueCompletion ValuesOf(const TCompletionSpec& ASpec, const QCommandLineOption& AOption) {
    return ASpec.Values.value(LongName(AOption));
}

// The description up to its first colon, semicolon or full stop: "Tile shape".
QString Summary(const QString& ADescription) {
    qsizetype end = ADescription.size();
    for (qsizetype i = 0; i < ADescription.size(); ++i) {
        const QChar c = ADescription[i];
        const bool stop = i + 1 == ADescription.size() || ADescription[i + 1].isSpace();
        if (c == u':' || c == u';' || (c == u'.' && stop)) {
            end = i;
            break;
        }
    }
    return ADescription.left(end).simplified();
}

// A text inside single quotes of a shell.
QString Quoted(QString AText) {
    return QLatin1Char('\'') + AText.replace(u'\'', QStringLiteral("'\\''")) + QLatin1Char('\'');
}

QString FunctionName(const QString& AProgram) {
    QString name = AProgram;
    for (QChar& c : name)
        if (!c.isLetterOrNumber())
            c = u'_';
    return QStringLiteral("_") + name;
}

QString BashScript(const TCompletionSpec& ASpec) {
    const QString f = FunctionName(ASpec.Program);
    QStringList allNames;
    QString valueCases;
    QStringList textValued;
    for (const QCommandLineOption& o : ASpec.Options) {
        QStringList names;
        for (const QString& n : o.names())
            names << Dashed(n);
        allNames << names;
        if (!TakesValue(o))
            continue;
        const TValueCompletion v = ValuesOf(ASpec, o);
        const QString pattern = names.join(QStringLiteral(" | "));
        switch (v.Kind) {
        case TValueCompletion::vcText:
            textValued << names;
            break;
        case TValueCompletion::vcWords:
            valueCases += QStringLiteral("    %1)\n        %2_reply -W %3\n        return\n"
                                         "        ;;\n")
                              .arg(pattern, f, Quoted(v.Words.join(u' ')));
            break;
        case TValueCompletion::vcFiles:
            valueCases += QStringLiteral("    %1)\n        %2_reply -f\n        return\n"
                                         "        ;;\n")
                              .arg(pattern, f);
            break;
        case TValueCompletion::vcFolders:
            valueCases += QStringLiteral("    %1)\n        %2_reply -d\n        return\n"
                                         "        ;;\n")
                              .arg(pattern, f);
            break;
        }
    }
    if (!textValued.isEmpty())
        valueCases += QStringLiteral("    %1)\n        return # a value of the user's own\n"
                                     "        ;;\n")
                          .arg(textValued.join(QStringLiteral(" | ")));

    QString s;
    s += QStringLiteral("# bash completion for %1. Written by \"%1 --completion bash\" from the "
                        "program's\n# options and the option catalog: edit those, not this.\n\n")
             .arg(ASpec.Program);
    // The helper reads cur and prefix from its caller.
    s += QStringLiteral("# COMPREPLY: what compgen ARGS offers for $cur, each after $prefix.\n"
                        "%1_reply() {\n"
                        "    local item\n"
                        "    COMPREPLY=()\n"
                        "    [[ $1 == -W ]] || compopt -o filenames 2>/dev/null\n"
                        "    while IFS= read -r item; do\n"
                        "        COMPREPLY+=(\"$prefix$item\")\n"
                        "    done < <(compgen \"$@\" -- \"$cur\")\n"
                        "}\n\n")
             .arg(f);
    s += QStringLiteral(
             "%1() {\n"
             "    local cur=${COMP_WORDS[COMP_CWORD]} prev= prefix=\n"
             "    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}\n"
             "    # \"--shape=he\": readline splits it at \"=\" unless COMP_WORDBREAKS lacks "
             "it.\n"
             "    if [[ $cur == = ]]; then\n"
             "        cur=\n"
             "    elif [[ $prev == = ]] && ((COMP_CWORD > 1)); then\n"
             "        prev=${COMP_WORDS[COMP_CWORD - 2]}\n"
             "    elif [[ $cur == --*=* ]]; then\n"
             "        prev=${cur%%=*}\n"
             "        prefix=$prev=\n"
             "        cur=${cur#*=}\n"
             "    fi\n"
             "    case $prev in\n"
             "%2"
             "    esac\n"
             "    prefix=\n"
             "    if [[ $cur == -?* ]]; then\n"
             "        %1_reply -W %3\n"
             "        return\n"
             "    fi\n"
             "    %1_reply -f\n"
             "}\n\n"
             "complete -F %1 %4\n")
             .arg(f, valueCases, Quoted(allNames.join(u' ')), ASpec.Program);
    return s;
}

// Inside the brackets of an _arguments description.
QString ZshDescription(const QString& ADescription) {
    QString d = Summary(ADescription);
    d.replace(u'\\', QStringLiteral("\\\\"));
    d.replace(u'[', QStringLiteral("\\["));
    d.replace(u']', QStringLiteral("\\]"));
    return d;
}

QString ZshScript(const TCompletionSpec& ASpec) {
    QString s;
    s += QStringLiteral("#compdef %1\n# zsh completion for %1. Written by \"%1 --completion zsh\" "
                        "from the program's\n# options and the option catalog: edit those, not "
                        "this.\n\n_arguments -s -S \\\n")
             .arg(ASpec.Program);
    for (const QCommandLineOption& o : ASpec.Options) {
        QStringList names;
        for (const QString& n : o.names())
            names << Dashed(n);
        QString pattern;
        if (EndsTheRun(o))
            pattern = QStringLiteral("'(- *)'");
        else if (names.size() > 1)
            pattern = Quoted(QLatin1Char('(') + names.join(u' ') + QLatin1Char(')'));
        // A value in the next word, or after "=" (long names) or directly (short ones).
        QStringList forms;
        for (const QString& n : names)
            forms << n + (TakesValue(o) ? (n.startsWith(QStringLiteral("--")) ? "=" : "+") : "");
        pattern += forms.size() > 1 ? QLatin1Char('{') + forms.join(u',') + QLatin1Char('}')
                                    : forms.front();
        QString tail = QLatin1Char('[') + ZshDescription(o.description()) + QLatin1Char(']');
        if (TakesValue(o)) {
            const TValueCompletion v = ValuesOf(ASpec, o);
            tail += QLatin1Char(':') + LongName(o) + QLatin1Char(':');
            switch (v.Kind) {
            case TValueCompletion::vcText:
                tail += QLatin1Char(' ');
                break;
            case TValueCompletion::vcWords:
                tail += QLatin1Char('(') + v.Words.join(u' ') + QLatin1Char(')');
                break;
            case TValueCompletion::vcFiles:
                tail += QStringLiteral("_files");
                break;
            case TValueCompletion::vcFolders:
                tail += QStringLiteral("_files -/");
                break;
            }
        }
        s += QStringLiteral("    %1%2 \\\n").arg(pattern, Quoted(tail));
    }
    s += QStringLiteral("    %1\n")
             .arg(Quoted(QStringLiteral("*:%1:_files").arg(ASpec.PositionalName)));
    return s;
}

} // namespace

QString CompletionScript(const QString& AShell, const TCompletionSpec& ASpec) {
    if (AShell == u"bash")
        return BashScript(ASpec);
    if (AShell == u"zsh")
        return ZshScript(ASpec);
    return {};
}

QString CompletionShellsText() {
    return QStringLiteral("bash or zsh");
}

// Shell completion for vorm-cli, written by the program itself ("vorm-cli --completion bash")
// from its own options and, for their values, from the option catalog, so that neither can
// drift from what the program accepts. The build installs the scripts (packaging/).
#pragma once

#include <QCommandLineOption>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// What the value of an option completes to.
struct TValueCompletion {
    enum TKind { vcText, vcWords, vcFiles, vcFolders };
    TKind Kind = vcText; // vcText: a value of the user's own, nothing is offered
    QStringList Words;

    static TValueCompletion OneOf(QStringList AWords) { return {vcWords, std::move(AWords)}; }
    static TValueCompletion File() { return {vcFiles, {}}; }
    static TValueCompletion Folder() { return {vcFolders, {}}; }
};

struct TCompletionSpec {
    QString Program;                   // "vorm-cli"
    QList<QCommandLineOption> Options; // in the order of the help
    // By the option's long name. An option that takes a value and is not here completes
    // nothing; a new option with names to offer needs one line here.
    QHash<QString, TValueCompletion> Values;
    QString PositionalName; // what the arguments are, shown by zsh: "picture"
};

// The script for AShell, "bash" or "zsh"; empty for any other.
QString CompletionScript(const QString& AShell, const TCompletionSpec& ASpec);

// The shells CompletionScript writes for, joined by " or ".
QString CompletionShellsText();

#include "atomic_file.h"
#include "parallel.h"
#include "vorm_error.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QByteArray Read(const QString& APath) {
    QFile f(APath);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QStringList Entries(const QTemporaryDir& ADir) {
    return QDir(ADir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

TEST(AtomicFile, NothingIsVisibleUntilCommitAndADiscardedFileLeavesNothing) {
    QTemporaryDir dir;
    const QString name = dir.filePath("out.svg");
    {
        TAtomicFile file(name);
        file.write("half");
        EXPECT_TRUE(Entries(dir).isEmpty());
    }
    EXPECT_TRUE(Entries(dir).isEmpty());
    TAtomicFile file(name);
    file.write("whole");
    file.commit();
    EXPECT_EQ(Read(name), "whole");
    EXPECT_EQ(Entries(dir), QStringList{"out.svg"});
}

// Two saves to one name, the second published after the first: the first moves aside, so both
// survive and the newest has the name.
TEST(AtomicFile, APublishedFileIsNeverReplaced) {
    QTemporaryDir dir;
    const QString name = dir.filePath("out.svg");
    QStringList told;
    SetPublishRenameNotify([&](const QString& AOld, const QString& ANew) { told << AOld << ANew; });
    TAtomicFile first(name), second(name);
    first.write("first");
    second.write("second");
    first.commit();
    second.commit();
    SetPublishRenameNotify({});
    EXPECT_EQ(Read(name), "second");
    EXPECT_EQ(Read(dir.filePath("out (1).svg")), "first");
    EXPECT_EQ(told, (QStringList{"out.svg", "out (1).svg"}));
    EXPECT_EQ(Entries(dir).size(), 2);
}

// The settings file alone replaces its predecessor.
TEST(AtomicFile, ReplaceModeReplaces) {
    QTemporaryDir dir;
    const QString name = dir.filePath("vorm.ini");
    WriteFileAtomically(name, "old", TAtomicFile::TMode::Replace);
    WriteFileAtomically(name, "new", TAtomicFile::TMode::Replace);
    EXPECT_EQ(Read(name), "new");
    EXPECT_EQ(Entries(dir), QStringList{"vorm.ini"});
}

TEST(AtomicFile, AStopBeforePublishingDiscardsTheFile) {
    QTemporaryDir dir;
    const QString name = dir.filePath("out.png");
    SetStopBeforePublish([] { return true; });
    TAtomicFile file(name);
    file.write("data");
    EXPECT_THROW(file.commit(), ECanceled);
    SetStopBeforePublish(nullptr);
    EXPECT_TRUE(Entries(dir).isEmpty());
}

TEST(AtomicFile, AFolderThatIsNotThereIsNamedInTheError) {
    QTemporaryDir dir;
    const QString name = dir.filePath("missing/out.svg");
    try {
        TAtomicFile file(name);
        FAIL() << "no error";
    } catch (const EVormError& e) {
        EXPECT_TRUE(e.message().startsWith(QStringLiteral("Cannot write \"%1\"").arg(name)))
            << e.message().toStdString();
    }
}

// Many writers racing for one name on the pool's threads: every file survives, under its own
// name, with its own bytes.
TEST(AtomicFile, RacingWritersAllSurvive) {
    QTemporaryDir dir;
    const QString name = dir.filePath("out.svg");
    constexpr int kWriters = 24;
    SetWorkerThreads(4);
    ParallelFor(kWriters, [&](int i) {
        TAtomicFile file(name);
        file.write(QByteArray::number(i));
        file.commit();
    });
    SetWorkerThreads(0);
    const QStringList entries = Entries(dir);
    EXPECT_EQ(entries.size(), kWriters);
    QSet<QByteArray> contents;
    for (const QString& e : entries)
        contents.insert(Read(dir.filePath(e)));
    EXPECT_EQ(contents.size(), kWriters);
}

} // namespace

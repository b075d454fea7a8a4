#include "file_names.h"
#include "vorm_error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

void Touch(const QString& APath, const QByteArray& AData = "x") {
    QFile f(APath);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(AData);
}

QByteArray Read(const QString& APath) {
    QFile f(APath);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

TEST(FileNames, IsAcceptedFile) {
    const struct {
        const char* Name;
        bool Accepted;
    } cases[] = {
        {"a.PSD", true},          {"a.Jpg", true},   {"a.gif", true},         {"a.bmp", true},
        {"/x/y/photo.png", true}, {"a.jpeg", false}, {"a.tga", false},        {"a.hdr", false},
        {"a.svg", false},         {"noext", false},  {"dir.png/file", false}, {"a.png.txt", false},
        {".png", true},           {"a.", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsAcceptedFile(QString::fromUtf8(c.Name)), c.Accepted) << c.Name;
}

TEST(FileNames, FreeFileName) {
    const struct {
        const char* Name;
        std::vector<const char*> Existing;
        const char* Expected;
    } cases[] = {
        {"photo.svg", {"photo.svg"}, "photo (1).svg"},
        {"photo.svg", {"photo.svg", "photo (1).svg"}, "photo (2).svg"},
        {"photo (3).svg", {"photo (3).svg"}, "photo (4).svg"},
        {"photo (3).svg", {"photo (3).svg", "photo (4).svg"}, "photo (5).svg"},
        {"photo(3).svg", {}, "photo(3) (1).svg"},
        {"photo (x).svg", {}, "photo (x) (1).svg"},
        {"photo (0).svg", {}, "photo (1).svg"},
        {"photo (99999999999).svg", {}, "photo (1).svg"}, // too large for 32 bits
        {"photo (2147483647).svg", {}, "photo (2147483648).svg"},
        {"a (1) (2).svg", {}, "a (1) (3).svg"}, // greedy base
        {"noext", {}, "noext (1)"},
        {"arch.tar.gz", {}, "arch.tar (1).gz"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        QTemporaryDir dir;
        for (const char* e : c.Existing)
            Touch(dir.filePath(e));
        EXPECT_EQ(FreeFileName(dir.filePath(c.Name)), dir.filePath(c.Expected));
    }
}

TEST(FileNames, RenameExistingMovesAsideAfterTelling) {
    QTemporaryDir dir;
    const QString target = dir.filePath("photo.svg");
    Touch(target, "first");
    Touch(dir.filePath("photo (1).svg"), "older");
    QStringList told;
    RenameExisting(target, [&](const QString& AOld, const QString& ANew) { told << AOld << ANew; });
    EXPECT_EQ(told, (QStringList{"photo.svg", "photo (2).svg"}));
    EXPECT_FALSE(QFile::exists(target));
    EXPECT_EQ(Read(dir.filePath("photo (2).svg")), "first");
    EXPECT_EQ(Read(dir.filePath("photo (1).svg")), "older");
}

TEST(FileNames, RenameExistingIsSilentWhenNothingExists) {
    QTemporaryDir dir;
    bool told = false;
    RenameExisting(dir.filePath("new.png"), [&](const QString&, const QString&) { told = true; });
    EXPECT_FALSE(told);
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
}

// Another program takes the free name between the search and the move: the next one is tried,
// and told.
TEST(FileNames, ARaceForTheFreeNameMovesOnToTheNext) {
    QTemporaryDir dir;
    const QString target = dir.filePath("photo.svg");
    Touch(target, "mine");
    QStringList told;
    const QString movedTo = RenameExisting(target, [&](const QString&, const QString& ANew) {
        if (told.isEmpty())
            Touch(dir.filePath(ANew), "someone else's");
        told << ANew;
    });
    EXPECT_EQ(told, (QStringList{"photo (1).svg", "photo (2).svg"}));
    EXPECT_EQ(movedTo, dir.filePath("photo (2).svg"));
    EXPECT_EQ(Read(movedTo), "mine");
    EXPECT_EQ(Read(dir.filePath("photo (1).svg")), "someone else's");
    EXPECT_FALSE(QFile::exists(target));
}

TEST(FileNames, FailedMoveRaisesAndKeepsTheFile) {
    QTemporaryDir dir;
    // " (1)" makes the name too long for the file system.
    const QString target = dir.filePath(QString(250, 'a') + ".svg");
    Touch(target, "mine");
    try {
        RenameExisting(target, {});
        FAIL() << "no error";
    } catch (const EVormError& e) {
        EXPECT_TRUE(e.message().startsWith("Cannot rename")) << e.message().toStdString();
    }
    EXPECT_EQ(Read(target), "mine");
}

// Links are names like any other: a broken one is not free, and a link is moved itself.
TEST(FileNames, LinksAreMovedNotFollowed) {
    QTemporaryDir dir;
    const QString target = dir.filePath("photo.svg"), victim = dir.filePath("victim.txt");
    ASSERT_TRUE(QFile::link(dir.filePath("missing/victim.txt"), dir.filePath("photo (1).svg")));
    EXPECT_EQ(FreeFileName(target), dir.filePath("photo (2).svg"));
    Touch(victim, "victim");
    ASSERT_TRUE(QFile::link(victim, target));
    EXPECT_EQ(RenameExisting(target, {}), dir.filePath("photo (2).svg"));
    EXPECT_EQ(QFileInfo(dir.filePath("photo (2).svg")).symLinkTarget(), victim);
    EXPECT_FALSE(QFileInfo(target).isSymLink());
    EXPECT_TRUE(PutBackEarlier(target, dir.filePath("photo (2).svg")));
    EXPECT_EQ(QFileInfo(target).symLinkTarget(), victim);
    EXPECT_EQ(Read(victim), "victim");
}

// Putting back never replaces a file that took the name meanwhile.
TEST(FileNames, PutBackNeverReplaces) {
    QTemporaryDir dir;
    const QString target = dir.filePath("photo.svg"), aside = dir.filePath("photo (1).svg");
    Touch(aside, "earlier");
    Touch(target, "newer");
    EXPECT_FALSE(PutBackEarlier(target, aside));
    EXPECT_EQ(Read(target), "newer");
    EXPECT_EQ(Read(aside), "earlier");
    QFile::remove(target);
    EXPECT_TRUE(PutBackEarlier(target, aside));
    EXPECT_EQ(Read(target), "earlier");
}

TEST(FileNames, RenameMessage) {
    EXPECT_EQ(RenameMessage("photo.svg", "photo (1).svg", false),
              QString("\"photo.svg\" will be renamed to \"photo (1).svg\" ."));
    EXPECT_EQ(RenameMessage("photo.svg", "photo (1).svg", true),
              QString::fromUtf8("\"photo.svg\" は \"photo (1).svg\" にリネームされます。"));
}

} // namespace

// Output file names, against real folders: existing files, overwriting, a source that lives in
// the output folder, and names the field or the list may hand over.
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <fcntl.h>
#include <ostream>
#include <unistd.h>

#include "BatchOutputNames.h"
#include "LocalFileNames.h"
#include "SettingsStore.h"
#include "TaskBuilderFixture.h"

using namespace vx;

namespace {

class OutputNameTest : public TaskBuilderTest {
protected:
    void SetUp() override {
        TaskBuilderTest::SetUp();
        ASSERT_TRUE(Root.isValid());
        ASSERT_TRUE(QDir(Root.path()).mkpath("out"));
        ASSERT_TRUE(QDir(Root.path()).mkpath("sources"));
        Out = Root.filePath("out");
        Settings.SetOutputFolder(Out);
    }

    // By the name's bytes: Qt's file classes cannot make a name that is not UTF-8.
    static void Touch(const QString& APath) {
        const int fd = ::open(LocalBytes(APath).c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0) << LocalBytes(APath);
        ::close(fd);
    }

    QString Source(const QString& AName) const { return Root.filePath("sources/" + AName); }

    QString NameFor(const QString& ACaption) {
        QString name;
        EXPECT_TRUE(Builder.BuildOutputName(ACaption, name)) << Builder.LastErrMsg().toStdString();
        return name;
    }

    QTemporaryDir Root;
    QString Out;
};

TEST_F(OutputNameTest, TakenNamesGetTheFirstFreeCounterUnlessOverwriting) {
    const QString source = Source("clip.avi");
    EXPECT_EQ(NameFor(source), Out + "/clip.mp4");

    Touch(Out + "/clip.mp4");
    EXPECT_EQ(NameFor(source), Out + "/clip-1.mp4");
    Touch(Out + "/clip-1.mp4");
    EXPECT_EQ(NameFor(source), Out + "/clip-2.mp4");
    // A gap is reused: the counter looks for the first free name, not the highest one.
    Touch(Out + "/clip-3.mp4");
    ASSERT_TRUE(QFile::remove(Out + "/clip-1.mp4"));
    EXPECT_EQ(NameFor(source), Out + "/clip-1.mp4");

    Options.SetOverwrite(true);
    EXPECT_EQ(NameFor(source), Out + "/clip.mp4");
}

TEST_F(OutputNameTest, AnythingAtTheNameCountsAsTaken) {
    // Neither a folder nor a link pointing nowhere can be overwritten with a file.
    ASSERT_TRUE(QDir(Out).mkdir("clip.mp4"));
    ASSERT_TRUE(QFile::link(Root.filePath("nowhere"), Out + "/clip-1.mp4"));
    EXPECT_EQ(NameFor(Source("clip.avi")), Out + "/clip-2.mp4");
}

TEST_F(OutputNameTest, SourceInTheOutputFolderIsNeverWrittenOver) {
    Select("AVI - XviD Video (*.avi)");
    const QString source = Out + "/movie.avi";
    Touch(source);

    EXPECT_EQ(NameFor(source), Out + "/movie-1.avi");
    // Overwriting would convert the file onto itself: named as if overwriting were off.
    Options.SetOverwrite(true);
    EXPECT_EQ(NameFor(source), Out + "/movie-1.avi");
    // The same when the output folder is spelled another way.
    Settings.SetOutputFolder(Root.filePath("sources/../out"));
    EXPECT_EQ(NameFor(source), Root.filePath("sources/../out") + "/movie-1.avi");
    // Another file of the same name is overwritten as asked.
    Select("MP4 - MPEG4 Video (*.mp4)");
    Touch(Out + "/movie.mp4");
    EXPECT_EQ(NameFor(source), Root.filePath("sources/../out") + "/movie.mp4");
}

TEST_F(OutputNameTest, SourceReachedThroughALinkIsNeverWrittenOver) {
    Select("AVI - XviD Video (*.avi)");
    Options.SetOverwrite(true);
    const QString real = Source("movie.avi");
    Touch(real);
    ASSERT_TRUE(QFile::link(real, Out + "/movie.avi"));
    EXPECT_EQ(NameFor(real), Out + "/movie-1.avi");
}

// The names of one batch are decided together: no row's output is any row's source, and no two
// rows share an output, even when overwriting.
TEST_F(OutputNameTest, ABatchNeverNamesAnOutputAfterItsSourcesOrTwice) {
    const QString fromSources = Source("a.avi");
    const QString inOutput = Out + "/a.mp4";
    Touch(fromSources);
    Touch(inOutput);
    for (const bool overwrite : {true, false}) {
        Options.SetOverwrite(overwrite);
        TBatchOutputNames batch;
        batch.AddSource(fromSources);
        batch.AddSource(inOutput);
        QString first, second, third;
        ASSERT_TRUE(Builder.BuildOutputName(fromSources, first, &batch));
        batch.Reserve(first);
        ASSERT_TRUE(Builder.BuildOutputName(inOutput, second, &batch));
        batch.Reserve(second);
        ASSERT_TRUE(Builder.BuildOutputName(fromSources, third, &batch));
        EXPECT_EQ(first, Out + "/a-1.mp4") << "overwrite " << overwrite;
        EXPECT_EQ(second, Out + "/a-2.mp4") << "overwrite " << overwrite;
        EXPECT_EQ(third, Out + "/a-3.mp4") << "overwrite " << overwrite;
    }
    // A source spelled another way is still the same file.
    TBatchOutputNames batch;
    batch.AddSource(Root.filePath("sources/../out/a.mp4"));
    EXPECT_TRUE(batch.IsSource(inOutput));
    EXPECT_FALSE(batch.IsSource(Out + "/b.mp4"));
}

TEST_F(OutputNameTest, ANameThatIsNotUTF8KeepsItsBytes) {
    const QString source = FromLocalBytes(LocalBytes(Root.filePath("sources/")) + "clip\xFF.avi");
    Touch(source);
    ASSERT_TRUE(NameIsTaken(source));
    const QString output = NameFor(source);
    EXPECT_EQ(LocalBytes(output), LocalBytes(Out) + "/clip\xFF.mp4");
    Touch(output);
    EXPECT_EQ(LocalBytes(NameFor(source)), LocalBytes(Out) + "/clip\xFF-1.mp4");
}

struct TNameCase {
    const char* Caption; // relative to the sources folder; "" for none
    const char* Output;  // relative to the output folder
};

void PrintTo(const TNameCase& ACase, std::ostream* AStream) {
    *AStream << '"' << ACase.Caption << '"';
}

class OutputNameOfTest : public OutputNameTest, public ::testing::WithParamInterface<TNameCase> {};

TEST_P(OutputNameOfTest, KeepsTheSourceNameAndChangesOnlyItsExtension) {
    EXPECT_EQ(NameFor(Source(GetParam().Caption)), Out + "/" + GetParam().Output);
}

INSTANTIATE_TEST_SUITE_P(Names, OutputNameOfTest,
                         ::testing::Values(TNameCase{"clip.avi", "clip.mp4"}, TNameCase{"clip", "clip.mp4"},
                                           TNameCase{"my.holiday.avi", "my.holiday.mp4"},
                                           TNameCase{"clip.MP4", "clip.mp4"},
                                           // Hidden files have no extension to replace.
                                           TNameCase{".clip", ".clip.mp4"},
                                           TNameCase{"Видео 映画 1.avi", "Видео 映画 1.mp4"}));

TEST_F(OutputNameTest, CaptionAndFolderAreReadAsTheUserMeantThem) {
    // The caption is the file's name exactly: blanks at either end belong to it, and the input
    // is that very file, not another one whose name lacks the blanks.
    const QString leading = Root.filePath("sources/  lead.avi");
    EXPECT_EQ(NameFor(leading), Out + "/  lead.mp4");
    EXPECT_EQ(NameFor(Source("clip.mp4 ")), Out + "/clip.mp4");
    EXPECT_EQ(NameFor(Source("clip")), Out + "/clip.mp4");
    EXPECT_EQ(NameFor(Source("clip ")), Out + "/clip .mp4");
    TInputOptions input;
    Builder.BuildInputOptions(Source("clip.mp4 "), input);
    EXPECT_EQ(input.FileName, Source("clip.mp4 ").toStdU16String());
    // A folder that ends in a separator gets no second one.
    Settings.SetOutputFolder(Out + "/");
    EXPECT_EQ(NameFor(Source("clip.avi")), Out + "/clip.mp4");
    // Blanks around the folder (which the start of a run ignores when checking it) are dropped...
    Settings.SetOutputFolder(" " + Out + "  ");
    EXPECT_EQ(NameFor(Source("clip.avi")), Out + "/clip.mp4");
    // ...but a folder whose name really ends in a blank is used as it is.
    ASSERT_TRUE(QDir(Root.path()).mkdir("out "));
    Settings.SetOutputFolder(Root.filePath("out "));
    EXPECT_EQ(NameFor(Source("clip.avi")), Root.filePath("out ") + "/clip.mp4");
}

TEST_F(OutputNameTest, CounterGoesBeforeTheOutputExtensionOnly) {
    // A dot in a folder name is not an extension.
    ASSERT_TRUE(QDir(Out).mkdir("a.b"));
    Touch(Out + "/a.b/clip.mp4");
    EXPECT_EQ(TTaskBuilder::UniqueOutputName(Out + "/a.b/clip", ".mp4"), Out + "/a.b/clip-1.mp4");
    EXPECT_EQ(TTaskBuilder::UniqueOutputName(Out + "/a.b/clip.avi", ".mp4"), Out + "/a.b/clip-1.mp4");
}

TEST_F(OutputNameTest, RowsThatCannotBeNamedFailWithAReason) {
    QString name = "stale";
    EXPECT_FALSE(Builder.BuildOutputName("", name));
    EXPECT_EQ(name, "");
    EXPECT_FALSE(Builder.LastErrMsg().isEmpty());
    EXPECT_FALSE(Builder.BuildOutputName(Root.filePath("sources/"), name));

    // Without a folder the name would land in the file system's root.
    Settings.SetOutputFolder("  ");
    EXPECT_FALSE(Builder.BuildOutputName(Source("clip.avi"), name));
    EXPECT_TRUE(Builder.LastErrMsg().contains("folder")) << Builder.LastErrMsg().toStdString();

    // No format applied yet: there is no extension to give the file.
    TConversionSettings fresh;
    TTaskBuilder builder(fresh, Options, Volume);
    fresh.SetOutputFolder(Out);
    EXPECT_FALSE(builder.BuildOutputName(Source("clip.avi"), name));
    TEncoderTask task;
    EXPECT_FALSE(builder.BuildTask({Source("clip.avi"), "640x480", {}}, task));
}

TEST_F(OutputNameTest, StoredSeparatorPositionConvertsWithTheFirstEntry) {
    QTemporaryDir store;
    ASSERT_TRUE(store.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, store.path());
    ASSERT_TRUE(QDir(store.path()).mkpath("Quenlo"));
    {
        QFile file(store.filePath("Quenlo/Vantorix.conf"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(
            "[General]\nOutput Folder=" + Out.toUtf8() +
            "\nComboOutputFormat=28\nOverwrite=0\nDropDownItems=26\nSimpleAdvanceSettings=0\nLetterBox=0\n");
    }
    TSettingsStore(Settings, Options).LoadSettings();
    Settings.ComboOutputFormatChange(); // as the window does when it is first shown

    TEncoderTask task;
    ASSERT_TRUE(Builder.BuildTask({Source("clip.avi"), "176x144", {}}, task))
        << Builder.LastErrMsg().toStdString();
    EXPECT_EQ(task.OutputFileName, Out + "/clip.3gp");
    EXPECT_EQ(task.OutputOptions.AudioCodec, "libopencore_amrnb");
    EXPECT_EQ(task.OutputOptions.AudioChannels, 1);
}

} // namespace

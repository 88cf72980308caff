// The about box's library credits: the loaded libraries with versions, licences and addresses,
// below the program's own texts, and their links opened through the owner.
#include <QLabel>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>

#include <gtest/gtest.h>

#include "AboutBox.h"
#include "base/FFApi.h"
#include "base/FFLoad.h"

using namespace vx;

namespace {

// Every link of the document, in order.
QStringList Links(const QTextDocument& ADocument) {
    QStringList links;
    for (QTextBlock block = ADocument.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (const QString href = it.fragment().charFormat().anchorHref(); !href.isEmpty())
                links << href;
    return links;
}

TEST(AboutBoxTest, CreditsTheLoadedLibrariesAndOpensTheirAddresses) {
    std::vector<QUrl> opened;
    TAboutBox about(QUrl("https://vantorix.example.org/"), "support@vantorix.example.org",
                    [&](const QUrl& AUrl) { opened.push_back(AUrl); });
    about.show();
    ASSERT_TRUE(FFLoader().Loaded(avCodec)) << "showing the box loads what it names";

    // The program's own texts stay first.
    EXPECT_EQ(about.LabelVersion->text(), "Version 4.1");
    const QString text = about.TextCredits->toPlainText().simplified();
    EXPECT_TRUE(text.contains(QStringLiteral("(FFmpeg %1)").arg(ff::av_version_info())))
        << text.toStdString();
    const unsigned codec = ff::avcodec_version();
    const QString codecLine = QStringLiteral("libavcodec %1.%2.%3 %4")
                                  .arg(AV_VERSION_MAJOR(codec))
                                  .arg(AV_VERSION_MINOR(codec))
                                  .arg(AV_VERSION_MICRO(codec))
                                  .arg(ff::avcodec_license());
    EXPECT_TRUE(text.contains(codecLine)) << text.toStdString();
    for (const char* name :
         {"libavutil", "libavformat", "libavdevice", "libavfilter", "libswscale", "libswresample"})
        EXPECT_TRUE(QRegularExpression(QStringLiteral("%1 \\d+\\.\\d+\\.\\d+ L?GPL version").arg(name))
                        .match(text)
                        .hasMatch())
            << name << ": " << text.toStdString();
    EXPECT_TRUE(QRegularExpression("SDL2 2\\.\\d+\\.\\d+ zlib License").match(text).hasMatch())
        << text.toStdString();
    EXPECT_FALSE(text.contains("not loaded")) << text.toStdString();

    // Seven FFmpeg lines and SDL2's, each with its address, opened through the owner.
    const QStringList links = Links(*about.TextCredits->document());
    ASSERT_EQ(links.size(), 8) << links.join(' ').toStdString();
    EXPECT_EQ(links.count("https://ffmpeg.org/"), 7);
    EXPECT_EQ(links.last(), "https://www.libsdl.org/");
    emit about.TextCredits->anchorClicked(QUrl(links.last()));
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QUrl("https://www.libsdl.org/"));
    about.hide();
}

} // namespace

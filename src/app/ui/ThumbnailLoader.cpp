#include "ThumbnailLoader.h"

#include <QMetaObject>

#include <algorithm>
#include <utility>

#include "PreviewWindow.h"
#include "RowLogCollector.h"
#include "base/Bitmap.h"
#include "decode/FFDecode.h"

namespace vx {

TThumbnailLoader::TThumbnailLoader(QObject* AParent) : QObject(AParent) {}

TThumbnailLoader::~TThumbnailLoader() {
    {
        const std::lock_guard lock(FLock);
        FQuit = true;
        ++FLatest;
    }
    FWake.notify_all();
    // The worker gives up at its next step; a file that stalls is bounded by the decoder's
    // read time-out.
    if (FWorker.joinable())
        FWorker.join();
}

void TThumbnailLoader::Request(const QString& AFile, QSize ABox) {
    {
        const std::lock_guard lock(FLock);
        FFile = AFile;
        FBox = ABox;
        ++FLatest;
        if (!FWorker.joinable())
            FWorker = std::thread([this] { Run(); });
    }
    FWake.notify_all();
}

void TThumbnailLoader::Cancel() {
    const std::lock_guard lock(FLock);
    FFile.clear();
    ++FLatest;
}

bool TThumbnailLoader::Current(uint64_t ANumber) {
    const std::lock_guard lock(FLock);
    return !FQuit && ANumber == FLatest;
}

void TThumbnailLoader::Run() {
    // What the decoder logs here is about no conversion.
    TRowLogCollector::LeaveOutCallingThread();
    for (;;) {
        QString file;
        QSize box;
        uint64_t number = 0;
        {
            std::unique_lock lock(FLock);
            FWake.wait(lock, [this] { return FQuit || !FFile.isEmpty(); });
            if (FQuit)
                return;
            file = std::exchange(FFile, QString());
            box = FBox;
            number = FLatest;
        }
        const QImage image = Take(file, box, [this, number] { return !Current(number); });
        if (!Current(number))
            continue;
        // Checked again when it arrives: a request or a cancel may come in between.
        QMetaObject::invokeMethod(
            this,
            [this, file, image, number] {
                if (Current(number))
                    emit Ready(file, image);
            },
            Qt::QueuedConnection);
    }
}

QImage TThumbnailLoader::Take(const QString& AFile, QSize ABox, const std::function<bool()>& ACancelled) {
    const TFileName name = AFile.toStdU16String();
    TFFDecoder decoder;
    if (!decoder.LoadFile(name) || decoder.VideoStreamCount() <= 0 || ACancelled())
        return {};
    // Far enough in to be past a black or titled opening, near enough to be found at once.
    const int64_t duration = decoder.FileStreamInfo().Duration;
    const int64_t at = duration > 0 ? duration / 10 : 1000000;
    if (!decoder.Seek(at) || !decoder.Decode()) {
        // A picture file, or an input that cannot seek: its first picture.
        if (ACancelled() || !decoder.LoadFile(name) || !decoder.Decode())
            return {};
    }
    TBitmap bitmap;
    if (ACancelled() || !decoder.CopyToBitmap(bitmap))
        return {};
    const QImage picture = BitmapToImage(bitmap);
    // Pictures of non-square samples are shown at their display aspect.
    const float aspect = decoder.VideoStreamInfos(-1).AspectRatio;
    QSize shape = picture.size();
    if (aspect > 0)
        shape.setWidth(std::max(1, qRound(shape.height() * aspect)));
    return picture.scaled(shape.scaled(ABox, Qt::KeepAspectRatio), Qt::IgnoreAspectRatio,
                          Qt::SmoothTransformation);
}

} // namespace vx

// Thumbnails of source files, taken on a thread of their own so that the window never waits
// for a large or slow file. Only the latest request counts: one still being taken when a newer
// one comes is abandoned at its next step, and its picture is never delivered.
#pragma once

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace vx {

class TThumbnailLoader : public QObject {
    Q_OBJECT
public:
    explicit TThumbnailLoader(QObject* AParent = nullptr);
    ~TThumbnailLoader() override;

    // Takes the thumbnail of AFile fitted into ABox; Ready follows on this object's thread.
    void Request(const QString& AFile, QSize ABox);
    // Nothing more is delivered for the requests made so far.
    void Cancel();

    // A key frame at a tenth of the file's length (at 1 s when the length is unknown; the first
    // picture when the file cannot seek), scaled into ABox with its display aspect kept. A null
    // image when the file has no picture to show or ACancelled() holds at one of the steps.
    static QImage Take(const QString& AFile, QSize ABox, const std::function<bool()>& ACancelled);

signals:
    // AImage is null when AFile has no picture to show (no video, unreadable).
    void Ready(const QString& AFile, const QImage& AImage);

private:
    void Run();
    bool Current(uint64_t ANumber);

    std::mutex FLock;
    std::condition_variable FWake;
    QString FFile;        // FLock: the request not yet started; empty: none
    QSize FBox;           // FLock
    uint64_t FLatest = 0; // FLock: number of the latest request (or cancel)
    bool FQuit = false;   // FLock
    std::thread FWorker;  // started with the first request
};

} // namespace vx

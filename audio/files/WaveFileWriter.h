#pragma once
// The last link of a conversion chain: encodes the frames it receives into a wave file of the
// format handed to begin() (PCM 8/16/24/32 bits, float or MS-ADPCM, through libsndfile), or,
// fed directly by the pump, copies the source file's sample data unchanged (a wave copy).
#include "audio/files/ChainLink.h"
#include "audio/files/WaveCopy.h"
#include "audio/format/SndFileWriter.h"
#include "platform/NativeFile.h"
#include <QString>
#include <memory>
#include <vector>

struct sf_private_tag;

namespace tamblor::audio {

class WaveFileWriter : public ChainLink {
public:
    explicit WaveFileWriter(QString linkName = QStringLiteral("WaveFile"));
    ~WaveFileWriter() override;

    void setFileName(const QString& path) { path_ = path; }
    QString fileName() const { return path_; }
    // The format of the file being (or last) written.
    const WaveFormat& format() const { return format_; }
    bool isOpen() const { return file_ != nullptr || copy_ != nullptr; }
    // Finishes and closes the file; nothing happens when it is closed already. Throws Failure.
    void close();

    QString linkName() const override { return name_; }
    WaveFormat resolveFormat(const WaveFormat& in) const override { return in; }
    void begin(const WaveFormat& in) override;
    void push(const int32_t* frames, int64_t count) override;
    void finish() override { close(); }
    void abort() noexcept override;

    bool copiesSource() const override { return true; }
    void beginCopy(const QString& sourcePath) override;
    bool copySource(const std::function<bool(int64_t bytes)>& progress) override;

private:
    QString name_;
    QString path_;
    std::unique_ptr<SndFileWriter> sound_; // an encoding in progress
    sf_private_tag* file_ = nullptr;        // sound_'s handle
    WaveFormat format_;
    std::vector<uint8_t> bytes_; // PCM samples on their way into the file
    std::unique_ptr<WaveCopy> copy_; // a copy in progress: its source and destination
    NativeFile out_;
};

} // namespace tamblor::audio

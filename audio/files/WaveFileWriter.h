#pragma once
// The last link of a conversion chain: encodes the frames it receives into a wave file of the
// format handed to begin() (PCM 8/16/24/32 bits or MS-ADPCM, through libsndfile).
#include "audio/files/ChainLink.h"
#include <QString>

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
    bool isOpen() const { return file_ != nullptr; }
    // Finishes and closes the file; nothing happens when it is closed already. Throws Failure.
    void close();

    QString linkName() const override { return name_; }
    WaveFormat resolveFormat(const WaveFormat& in) const override { return in; }
    void begin(const WaveFormat& in) override;
    void push(const int16_t* frames, int64_t count) override;
    void finish() override { close(); }
    void abort() noexcept override;

private:
    QString name_;
    QString path_;
    sf_private_tag* file_ = nullptr;
    WaveFormat format_;
};

} // namespace tamblor::audio

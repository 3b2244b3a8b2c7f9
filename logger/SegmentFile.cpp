#include "logger/SegmentFile.h"
#include "logger/SegmentTimes.h"
#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QTimeZone>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <sndfile.h>

namespace tamblor::logger {

namespace {

// A loudness figure as bext version 2 keeps it: hundredths, 0x7FFF when there is none.
int16_t hundredths(double value)
{
    if (!std::isfinite(value) || std::abs(value) > 327.0)
        return 0x7FFF;
    return int16_t(std::lround(value * 100.0));
}

void copyText(char* out, size_t size, const QString& text)
{
    const QByteArray bytes = text.toLatin1();
    std::memset(out, 0, size);
    std::memcpy(out, bytes.constData(), std::min(size, size_t(bytes.size())));
}

} // namespace

SegmentFile::~SegmentFile()
{
    if (file_)
        close(SegmentFigures{});
}

qint64 SegmentFile::framesIn(const QString& path)
{
    SF_INFO info{};
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!f)
        return -1;
    sf_close(f);
    return info.frames;
}

QString SegmentFile::description(const SegmentFacts& facts, int rate)
{
    return QString("Tamblor logger segment %1; UTC offset %2; time reference %3 frames at %4 Hz since local midnight")
        .arg(facts.title, SegmentTimes::offsetText(facts.utcOffsetSeconds))
        .arg(facts.framesSinceMidnight)
        .arg(rate);
}

bool SegmentFile::open(const QString& path, FileEncoding encoding, int rate, int channels, const SegmentFacts& facts)
{
    error_.clear();
    errno_ = 0;
    frames_ = 0;
    if (QFile::exists(path)) {
        error_ = "the file is there already";
        return false;
    }
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = encoding == FileEncoding::Flac ? (SF_FORMAT_FLAC | SF_FORMAT_PCM_16)
                  : encoding == FileEncoding::Wav24 ? (SF_FORMAT_WAV | SF_FORMAT_PCM_24)
                                                    : (SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    file_ = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!file_) {
        errno_ = errno;
        error_ = QString::fromLocal8Bit(sf_strerror(nullptr));
        return false;
    }
    encoding_ = encoding;
    rate_ = rate;
    facts_ = facts;
    const QDateTime start = QDateTime::fromMSecsSinceEpoch(facts.startMs, Qt::OffsetFromUTC, facts.utcOffsetSeconds);
    if (encoding == FileEncoding::Flac) {
        sf_set_string(file_, SF_STR_TITLE, facts.title.toUtf8().constData());
        sf_set_string(file_, SF_STR_DATE, start.toString(Qt::ISODateWithMs).toUtf8().constData());
        sf_set_string(file_, SF_STR_COMMENT, description(facts, rate).toUtf8().constData());
        sf_set_string(file_, SF_STR_SOFTWARE, "Tamblor logger");
    } else {
        setBroadcastInfo(nullptr);
        // The sizes agree from the first moment, the bext chunk counted in.
        refreshHeader();
    }
    return true;
}

void SegmentFile::setBroadcastInfo(const SegmentFigures* figures)
{
    SF_BROADCAST_INFO bext{};
    const QDateTime start = QDateTime::fromMSecsSinceEpoch(facts_.startMs, Qt::OffsetFromUTC, facts_.utcOffsetSeconds);
    copyText(bext.description, sizeof bext.description, description(facts_, rate_));
    copyText(bext.originator, sizeof bext.originator, "Tamblor logger");
    copyText(bext.originator_reference, sizeof bext.originator_reference, facts_.title);
    copyText(bext.origination_date, sizeof bext.origination_date, start.toString("yyyy-MM-dd"));
    copyText(bext.origination_time, sizeof bext.origination_time, start.toString("HH:mm:ss"));
    const auto reference = quint64(facts_.framesSinceMidnight);
    bext.time_reference_low = uint32_t(reference & 0xFFFFFFFFu);
    bext.time_reference_high = uint32_t(reference >> 32);
    bext.version = 2;
    bext.loudness_value = 0x7FFF;
    bext.loudness_range = 0x7FFF;
    bext.max_true_peak_level = 0x7FFF;
    bext.max_momentary_loudness = 0x7FFF;
    bext.max_shortterm_loudness = 0x7FFF;
    if (figures) {
        bext.loudness_value = hundredths(figures->integratedLufs);
        bext.loudness_range = hundredths(figures->rangeLu);
        bext.max_true_peak_level = hundredths(figures->truePeakDbtp);
        bext.max_momentary_loudness = hundredths(figures->maxMomentaryLufs);
        bext.max_shortterm_loudness = hundredths(figures->maxShortTermLufs);
    }
    bext.coding_history_size = 0;
    sf_command(file_, SFC_SET_BROADCAST_INFO, &bext, sizeof bext);
}

bool SegmentFile::write(const int16_t* samples, qint64 frames)
{
    if (!file_)
        return false;
    errno = 0;
    const sf_count_t written = sf_writef_short(file_, samples, frames);
    frames_ += written;
    if (written < frames) {
        errno_ = errno;
        error_ = QString::fromLocal8Bit(sf_strerror(file_));
        return false;
    }
    return true;
}

void SegmentFile::refreshHeader()
{
    if (file_ && encoding_ != FileEncoding::Flac)
        sf_command(file_, SFC_UPDATE_HEADER_NOW, nullptr, 0);
}

void SegmentFile::close(const SegmentFigures& figures)
{
    if (!file_)
        return;
    if (encoding_ != FileEncoding::Flac)
        setBroadcastInfo(&figures);
    sf_close(file_);
    file_ = nullptr;
}

QByteArray fileSha256(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file) || file.error() != QFileDevice::NoError)
        return {};
    return hash.result().toHex();
}

} // namespace tamblor::logger

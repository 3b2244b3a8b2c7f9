#pragma once
// Links of a conversion chain (reader -> pump -> [converter] -> writer). Links name their
// successor by text, as the windows wire them ("WaveFile", "ACMConverter"); ChainLinks resolves
// those names. Audio travels between links as interleaved 32-bit frames (each sample at full
// depth, left-justified); the format handed to begin() says what a writer is to encode them as.
// A writer at the head of a chain takes the source file's bytes instead: the sound is copied,
// not decoded and encoded again.
#include "audio/core/WaveFormat.h"
#include <QString>
#include <cstdint>
#include <functional>
#include <map>

namespace tamblor::audio {

class ChainLinks;

class ChainLink {
public:
    virtual ~ChainLink() = default;
    virtual QString linkName() const = 0;
    // The format that this link and those after it finally write for an input format.
    virtual WaveFormat resolveFormat(const WaveFormat& in) const = 0;
    // Called on the caller's thread before data flows; may throw Failure.
    virtual void begin(const WaveFormat& in) = 0;
    // Called on the pump's worker thread; may throw Failure.
    virtual void push(const int32_t* frames, int64_t count) = 0;
    // End of data: flush and complete what is written (worker thread; may throw Failure).
    virtual void finish() = 0;
    // The run ended early: drop buffered data and release files (never throws).
    virtual void abort() noexcept = 0;

    // Whether this link writes its input unchanged, so that a pump feeding it directly may
    // hand it the source file to copy byte for byte instead of frames.
    virtual bool copiesSource() const { return false; }
    // Opens the source (a native path) and the destination for such a copy, on the caller's
    // thread; may throw Failure. finish() or abort() ends it as for frames.
    virtual void beginCopy(const QString& sourcePath);
    // Copies on the pump's worker thread, telling `progress` the sample bytes done; returns
    // false when progress asked to stop. May throw Failure.
    virtual bool copySource(const std::function<bool(int64_t bytes)>& progress);
};

// The links of one window by name. The window owns the links; this only points at them.
class ChainLinks {
public:
    void add(ChainLink& link) { links_[link.linkName()] = &link; }
    // Throws Failure 380 Invalid property value for a name no link carries.
    ChainLink& find(const QString& name) const;

private:
    std::map<QString, ChainLink*> links_;
};

} // namespace tamblor::audio

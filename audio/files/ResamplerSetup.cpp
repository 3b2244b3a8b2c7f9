#include "audio/files/ResamplerSetup.h"
#include "audio/format/FileFailure.h"
#include <soxr.h>

namespace tamblor::audio {

soxr* createResampler(int inRate, int outRate, int channels, unsigned threads)
{
    soxr_error_t err = nullptr;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_INT32_I, SOXR_INT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(threads);
    soxr* r = soxr_create(inRate, outRate, unsigned(channels), &err, &io, &quality, &runtime);
    if (err || !r) {
        if (r)
            soxr_delete(r);
        throw invalidCall(QStringLiteral("rate %1 to %2").arg(inRate).arg(outRate));
    }
    return r;
}

} // namespace tamblor::audio

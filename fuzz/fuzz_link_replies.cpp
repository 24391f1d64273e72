// libFuzzer target: whatever the logger sends during a download. The input is a
// header followed by reply chunks (a length byte, then that many bytes, repeated);
// the controller gets them between timer ticks, and the decoder gets the header with
// the remaining bytes as recorded data. Neither may read out of bounds, and a set
// that is replaced must stay consistent.

#include "base/Prompts.h"
#include "base/Timers.h"
#include "link/LinkController.h"
#include "link/Recording.h"
#include "sim/FakeSerialChannel.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 28)
        return 0;
    // The pure decoder on the header's view of the rest.
    QByteArray header(reinterpret_cast<const char*>(data), 28);
    header[0] = char(0xDD);
    const DownloadHeader h = ParseHeader(reinterpret_cast<const uint8_t*>(header.constData()));
    if (CheckHeader(h) == HeaderVerdict::Ok) {
        const size_t length = std::min<size_t>(h.dataLength, size - 28);
        const StoredSet s = DecodeRecording(h, data + 28, length, StoredSet{});
        if (!s.IsConsistent())
            std::abort();
    }

    // The controller fed the same bytes as replies.
    ManualClock clock;
    ManualTimerTable timers(clock);
    FakeSerialChannel channel;
    FakePrompts prompts;
    MeasurementSet set;
    LinkController link(channel, timers, prompts, set);
    timers.SetHandler([&](int id) { link.OnTimer(id); });
    channel.SetOpenable(1);
    link.StartTransfer(TransferKind::Download);
    channel.Inject(header);
    size_t at = 28;
    while (at < size) {
        const size_t n = std::min<size_t>(size - at - 1, size_t(data[at]) * 8);
        channel.Inject(QByteArray(reinterpret_cast<const char*>(data + at + 1), qsizetype(n)));
        at += 1 + n;
        clock.Advance(data[at - 1 - n] % 3 == 0 ? 1000 : 1);
    }
    clock.Advance(6000);
    if (!set.StoredIsConsistent())
        std::abort();
    return 0;
}

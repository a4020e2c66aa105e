// Feeds arbitrary server bytes to the Telnet/RFC 2217 session in chunks the input chooses, and
// checks that the split never matters: in chunks, in one piece and byte by byte, the data,
// replies, option states, refusal and acknowledgements are the same. Data is never longer than
// the input; the client's own escaped data and COM-PORT-OPTION commands come back as sent.
// Input: a flags byte (bit 0: greet first; the rest picks an acknowledgement's command), then
// chunks, each its length byte and up to that many bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include "serial/TelnetSession.h"

using namespace kestrow::telnet;

namespace {

void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_telnet: %s\n", what);
    std::abort();
}

struct Fed {
    Session session;
    std::vector<uint8_t> data;
    std::vector<uint8_t> replies;

    explicit Fed(bool greet) {
        if (greet) {
            (void)session.Greeting();
        }
    }
    void Receive(std::span<const uint8_t> in) { session.Receive(in, data, replies); }
};

void Same(const Fed& a, const Fed& b, const char* split) {
    if (a.data != b.data) {
        std::fprintf(stderr, "fuzz_telnet: %s: ", split);
        Fail("the data depends on the split");
    }
    if (a.replies != b.replies) {
        std::fprintf(stderr, "fuzz_telnet: %s: ", split);
        Fail("the replies depend on the split");
    }
    if (a.session.ComPortRefused() != b.session.ComPortRefused()) {
        std::fprintf(stderr, "fuzz_telnet: %s: ", split);
        Fail("the refusal depends on the split");
    }
    for (int i = 0; i < 256; ++i) {
        const OptionState x = a.session.Option(uint8_t(i));
        const OptionState y = b.session.Option(uint8_t(i));
        if (x.local != y.local || x.remote != y.remote) {
            std::fprintf(stderr, "fuzz_telnet: %s: option %d: ", split, i);
            Fail("the option state depends on the split");
        }
        if (a.session.Acknowledged(ComCommand(i)) != b.session.Acknowledged(ComCommand(i))) {
            std::fprintf(stderr, "fuzz_telnet: %s: command %d: ", split, i);
            Fail("the acknowledgements depend on the split");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const uint8_t flags = bytes[0];
    const bool greet = (flags & 1) != 0;
    std::vector<uint8_t> all;
    Fed chunked(greet);
    for (std::size_t i = 1; i < size;) {
        const std::size_t length = std::min<std::size_t>(bytes[i], size - i - 1);
        const std::span<const uint8_t> chunk(bytes + i + 1, length);
        chunked.Receive(chunk);
        all.insert(all.end(), chunk.begin(), chunk.end());
        i += 1 + length;
    }
    Fed whole(greet);
    whole.Receive(all);
    Fed single(greet);
    for (const uint8_t b : all) {
        single.Receive({&b, 1});
    }
    Same(chunked, whole, "in chunks / whole");
    Same(single, whole, "byte by byte / whole");
    if (whole.data.size() > all.size()) {
        Fail("more data than input");
    }
    if (whole.replies.size() > all.size()) {
        Fail("more replies than input");
    }

    // The data escaped comes back as it was, with nothing to answer.
    std::vector<uint8_t> escaped;
    Session::Escape(whole.data, escaped);
    Fed echo(false);
    echo.Receive(escaped);
    if (echo.data != whole.data || !echo.replies.empty()) {
        Fail("escaped data does not come back as sent");
    }
    // A COM-PORT-OPTION command with the server's offset, value up to 62 bytes, is recorded as
    // the acknowledgement of its command.
    const auto command = uint8_t((flags >> 1) % (256 - kServerOffset));
    const std::span<const uint8_t> value(all.data(), std::min<std::size_t>(all.size(), 62));
    Fed ack(greet);
    ack.Receive(Session::ComPortCommand(ComCommand(command + kServerOffset), value));
    const auto recorded = ack.session.Acknowledged(ComCommand(command));
    if (!recorded || !std::equal(recorded->begin(), recorded->end(), value.begin(), value.end()) ||
        !ack.data.empty() || !ack.replies.empty()) {
        Fail("a COM-PORT-OPTION command is not recorded as sent");
    }
    return 0;
}

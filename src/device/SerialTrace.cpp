// The tracer of SerialTypes.h: one function, installed by a program that prints the traffic.
#include <atomic>
#include <mutex>
#include <utility>

#include "device/SerialTypes.h"

namespace kestrow {
namespace {

std::atomic<bool> g_tracing{false};

std::mutex& TracerMutex() {
    static std::mutex m;
    return m;
}
SerialTracer& Tracer() {
    static SerialTracer t;
    return t;
}

}  // namespace

void SetSerialTracer(SerialTracer tracer) {
    std::lock_guard lock(TracerMutex());
    g_tracing.store(static_cast<bool>(tracer), std::memory_order_relaxed);
    Tracer() = std::move(tracer);
}

void TraceSerial(TraceDirection direction, const void* bytes, uint32_t count, uint32_t requested) {
    if (!g_tracing.load(std::memory_order_relaxed)) {
        return;
    }
    SerialTracer tracer;
    {
        std::lock_guard lock(TracerMutex());
        tracer = Tracer();
    }
    if (tracer) {
        tracer(direction, {static_cast<const uint8_t*>(bytes), count}, requested);
    }
}

}  // namespace kestrow

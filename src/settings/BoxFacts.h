// What the box tells about itself, which decides the dialogs' lists, which rows and which
// System dialog it gets, and the factory-reset item: learnt by the probe and the model question
// (4,4) of the status refresh, or by kestrowctl asking the same two questions.
#pragma once

#include <cstdint>

namespace kestrow {

struct BoxFacts {
    uint8_t portByte = 0;     // the probe's port byte: input port code << 4 | output port code
    uint8_t modelByte = 0;    // the probe's model byte; 1 opens the template-201 System dialog
    bool newerModel = false;  // its reply to (4,4) did not start with 05
    friend bool operator==(const BoxFacts&, const BoxFacts&) = default;
};

}  // namespace kestrow

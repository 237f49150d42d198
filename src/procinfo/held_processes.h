// Processes kept opened for as long as a command may end them.
#pragma once
#include <windows.h>
#include <stdint.h>

#include <memory>
#include <utility>

#include "procinfo/process_probe.h"

// The processes a table that holds keeps opened from their first reading to
// its end, given back through the probe that handed them out: a PID is not
// reused while a handle to its process is open.
class HeldProcesses {
public:
    HeldProcesses() noexcept = default;
    ~HeldProcesses() { reset(); }
    HeldProcesses(const HeldProcesses&) = delete;
    HeldProcesses& operator=(const HeldProcesses&) = delete;
    HeldProcesses(HeldProcesses&& other) noexcept { *this = std::move(other); }
    HeldProcesses& operator=(HeldProcesses&& other) noexcept;

    // Room for count processes, none held. False when memory runs out.
    [[nodiscard]] bool start(uint32_t count, const ProcessProbe& probe) noexcept;
    HANDLE get(uint32_t index) const noexcept { return handles_ ? handles_[index] : NULL; }
    void keep(uint32_t index, HANDLE process) noexcept { handles_[index] = process; }
    void reset() noexcept;

private:
    std::unique_ptr<HANDLE[]> handles_;
    uint32_t count_ = 0;
    ProcessProbe probe_ = {};
};

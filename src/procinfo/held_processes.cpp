#include "procinfo/held_processes.h"

#include <new>

HeldProcesses& HeldProcesses::operator=(HeldProcesses&& other) noexcept
{
    if (this != &other) {
        reset();
        handles_ = std::move(other.handles_);
        count_ = other.count_;
        probe_ = other.probe_;
        other.count_ = 0;
    }
    return *this;
}

bool HeldProcesses::start(uint32_t count, const ProcessProbe& probe) noexcept
{
    reset();
    handles_.reset(new (std::nothrow) HANDLE[count == 0 ? 1 : count]());
    count_ = handles_ ? count : 0;
    probe_ = probe;
    return handles_ != nullptr;
}

void HeldProcesses::reset() noexcept
{
    for (uint32_t i = 0; i < count_; ++i) {
        if (handles_[i] != NULL && probe_.release != NULL) {
            probe_.release(probe_.context, handles_[i]);
        }
    }
    handles_.reset();
    count_ = 0;
}

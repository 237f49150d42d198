// The records of a table in one block of address space, reserved for many
// and committed as they come: a snapshot walk writes each entry where it
// stays, though the number of processes is known only at the walk's end.
#pragma once
#include <windows.h>
#include <stddef.h>
#include <stdint.h>

#include "procinfo/process_record.h"

// Records the address space is first reserved for (some 150 MB on x64:
// address space, not memory); more only on a system with more processes.
const uint32_t RECORD_RESERVE_COUNT = 262144;

// Records are facts: once appended they are read through const access only.
// The one writer after that is the table's build, which attaches display
// names through writable().
class RecordBlock {
public:
    RecordBlock() noexcept = default;
    // A first reservation for this many records (at least one commit step).
    explicit RecordBlock(uint32_t reserveCount) noexcept : firstReserveCount_(reserveCount) {}
    ~RecordBlock() { reset(); }
    RecordBlock(const RecordBlock&) = delete;
    RecordBlock& operator=(const RecordBlock&) = delete;
    RecordBlock(RecordBlock&& other) noexcept;
    RecordBlock& operator=(RecordBlock&& other) noexcept;

    const ProcessRecord* get() const noexcept { return base_; }
    const ProcessRecord& operator[](size_t index) const noexcept { return base_[index]; }
    explicit operator bool() const noexcept { return base_ != NULL; }
    uint32_t size() const noexcept { return size_; }
    // Room for one more record after the others (uninitialized); null when
    // out of memory. The records move only when the reserved space is full.
    ProcessRecord* append() noexcept;
    // The record at index for the table's build to complete.
    ProcessRecord* writable(size_t index) noexcept { return &base_[index]; }
    // Keeps the first count records.
    void truncate(uint32_t count) noexcept;
    void reset() noexcept;

private:
    ProcessRecord* base_ = NULL;
    uint32_t size_ = 0;
    size_t reservedBytes_ = 0;
    size_t committedBytes_ = 0;
    uint32_t firstReserveCount_ = RECORD_RESERVE_COUNT;
};

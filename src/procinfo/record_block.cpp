#include "procinfo/record_block.h"

#include <string.h>

#include <algorithm>

namespace {

// Memory is committed in steps of this many bytes as the records come.
const size_t COMMIT_STEP_BYTES = 256 * 1024;

// Rounded up to whole commit steps.
size_t wholeSteps(size_t bytes)
{
    return (bytes + COMMIT_STEP_BYTES - 1) / COMMIT_STEP_BYTES * COMMIT_STEP_BYTES;
}

}  // namespace

RecordBlock::RecordBlock(RecordBlock&& other) noexcept
    : base_(other.base_), size_(other.size_), reservedBytes_(other.reservedBytes_),
      committedBytes_(other.committedBytes_), firstReserveCount_(other.firstReserveCount_)
{
    other.base_ = NULL;
    other.reset();
}

RecordBlock& RecordBlock::operator=(RecordBlock&& other) noexcept
{
    if (this != &other) {
        reset();
        base_ = other.base_;
        size_ = other.size_;
        reservedBytes_ = other.reservedBytes_;
        committedBytes_ = other.committedBytes_;
        firstReserveCount_ = other.firstReserveCount_;
        other.base_ = NULL;
        other.reset();
    }
    return *this;
}

void RecordBlock::reset() noexcept
{
    if (base_ != NULL) {
        VirtualFree(base_, 0, MEM_RELEASE);
    }
    base_ = NULL;
    size_ = 0;
    reservedBytes_ = 0;
    committedBytes_ = 0;
}

void RecordBlock::truncate(uint32_t count) noexcept
{
    if (count < size_) {
        size_ = count;
    }
}

ProcessRecord* RecordBlock::append() noexcept
{
    if (size_ == UINT32_MAX || size_ >= (SIZE_MAX - COMMIT_STEP_BYTES) / sizeof(ProcessRecord) - 1) {
        return NULL;
    }
    size_t usedBytes = static_cast<size_t>(size_) * sizeof(ProcessRecord);
    size_t neededBytes = usedBytes + sizeof(ProcessRecord);
    if (neededBytes > reservedBytes_) {
        // The address space is full: a larger block, the records copied over.
        size_t bytes = std::max(wholeSteps(firstReserveCount_ * sizeof(ProcessRecord)),
                                reservedBytes_ <= SIZE_MAX / 4 ? reservedBytes_ * 2 : 0);
        size_t leastBytes = wholeSteps(neededBytes);
        void* fresh = NULL;
        for (;;) {
            bytes = std::max(bytes, leastBytes);
            fresh = VirtualAlloc(NULL, bytes, MEM_RESERVE, PAGE_NOACCESS);
            // A crowded 32-bit address space may have no run this long.
            if (fresh != NULL || bytes == leastBytes) {
                break;
            }
            bytes = wholeSteps(bytes / 2);
        }
        if (fresh == NULL) {
            return NULL;
        }
        size_t keptBytes = wholeSteps(usedBytes);
        if (keptBytes != 0 && VirtualAlloc(fresh, keptBytes, MEM_COMMIT, PAGE_READWRITE) == NULL) {
            VirtualFree(fresh, 0, MEM_RELEASE);
            return NULL;
        }
        if (usedBytes != 0) {
            memcpy(fresh, base_, usedBytes);
        }
        uint32_t kept = size_;
        reset();
        base_ = static_cast<ProcessRecord*>(fresh);
        size_ = kept;
        reservedBytes_ = bytes;
        committedBytes_ = keptBytes;
    }
    if (neededBytes > committedBytes_) {
        size_t step = std::min(COMMIT_STEP_BYTES, reservedBytes_ - committedBytes_);
        if (VirtualAlloc(reinterpret_cast<char*>(base_) + committedBytes_, step, MEM_COMMIT, PAGE_READWRITE) == NULL) {
            return NULL;
        }
        committedBytes_ += step;
    }
    return &base_[size_++];
}

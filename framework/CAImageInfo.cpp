#include "framework/CAImageInfo.h"

#include "framework/CAAlgorithmBase.h"

CAImageInfo::CAImageInfo()
    : width(0),
      height(0),
      channels(3),
      depth(8),
      reserved0(0),
      reserved1(4),
      sourceImage(nullptr),
      destinationImage(nullptr) {}

CAImageInfo::CAImageInfo(const CAImageInfo& other) = default;

CAImageInfo& CAImageInfo::operator=(const CAImageInfo& other) = default;

// The concrete algorithm's constructor is what promises null; starting from null
// here only keeps an unset pointer from ever being read.
CAAlgorithmBase::CAAlgorithmBase() : workBlock(nullptr) {}

CAAlgorithmBase::CAAlgorithmBase(const CAAlgorithmBase& other) = default;

CAAlgorithmBase& CAAlgorithmBase::operator=(const CAAlgorithmBase& other) = default;

#include "tools/host/PluginSession.h"

#include <stdexcept>

namespace vexo::filterhost {

PluginSession::PluginSession(FilterHost& host, PluginEntry entry) : host_(host), entry_(entry) {
    if (!entry_) {
        throw std::invalid_argument("no entry point to call");
    }
}

OSErr PluginSession::Invoke(int16_t selector, void* record) {
    int16_t* result = host_.ResultWord();
    *result = noErr;
    SelectorCall call;
    call.sequence = host_.NextSequence();
    call.selector = selector;
    entry_(selector, record, host_.DataSlot(), result);
    call.returnSequence = host_.NextSequence();
    call.result = *result;
    calls_.push_back(call);
    return *result;
}

OSErr PluginSession::Call(int16_t selector) {
    if (selector == filterSelectorAbout) {
        return CallAbout();
    }
    const OSErr result = Invoke(selector, host_.Record());
    host_.CommitOutput();
    return result;
}

OSErr PluginSession::CallAbout(intptr_t window) {
    PlatformData platform{window};
    AboutRecord about{};
    about.platformData = &platform;
    return Invoke(filterSelectorAbout, &about);
}

SessionOutcome PluginSession::Run(const SessionOptions& options) {
    SessionOutcome outcome;
    const auto failed = [&](int16_t selector, OSErr result) {
        if (result == noErr) {
            return false;
        }
        outcome.result = result;
        outcome.failedSelector = selector;
        host_.ReleaseTiles();
        return true;
    };

    if (options.callParameters &&
        failed(filterSelectorParameters, Call(filterSelectorParameters))) {
        return outcome;
    }
    if (failed(filterSelectorPrepare, Call(filterSelectorPrepare))) {
        return outcome;
    }
    if (failed(filterSelectorStart, Call(filterSelectorStart))) {
        return outcome;
    }
    while (host_.RecordRequestsData()) {
        if (outcome.continueCalls >= options.maxContinueCalls) {
            outcome.continueLimitReached = true;
            break;
        }
        if (const OSErr refused = host_.ServeRecordRequest()) {
            outcome.result = refused;
            host_.ReleaseTiles();
            return outcome;
        }
        ++outcome.continueCalls;
        if (failed(filterSelectorContinue, Call(filterSelectorContinue))) {
            return outcome;
        }
    }
    host_.ReleaseTiles();
    failed(filterSelectorFinish, Call(filterSelectorFinish));
    return outcome;
}

std::vector<int16_t> PluginSession::Selectors() const {
    std::vector<int16_t> selectors;
    for (const SelectorCall& call : calls_) {
        selectors.push_back(call.selector);
    }
    return selectors;
}

std::vector<OSErr> PluginSession::Results() const {
    std::vector<OSErr> results;
    for (const SelectorCall& call : calls_) {
        results.push_back(call.result);
    }
    return results;
}

}  // namespace vexo::filterhost

#include "RecordCommit.h"

#include <sys/resource.h>

namespace qb::engine {

namespace {
// Best effort: a short time-critical window keeps the record lock brief.
struct PriorityBoost {
    int saved;
    PriorityBoost() : saved(::getpriority(PRIO_PROCESS, 0)) { [[maybe_unused]] int r = ::setpriority(PRIO_PROCESS, 0, -10); }
    ~PriorityBoost() { [[maybe_unused]] int r = ::setpriority(PRIO_PROCESS, 0, saved); }
};
} // namespace

CommitResult commitRecord(TTzDbf& t, bool replace, const platform::Clock& clock)
{
    if (!t.Active())
        return CommitResult::WriteFailed;
    if (t.dataSet().fieldByName("time")) {
        const TTzField* f = t.dataSet().fieldByName("time");
        double stamp = encodeStoredTime(platform::nowDateTime(clock));
        if (f->decimals > 0)
            t.SetRealField("time", stamp);
    }
    CommitResult result = CommitResult::Ok;
    {
        PriorityBoost boost;
        bool locked = replace ? t.RLock() : t.ALock();
        if (!locked) {
            result = CommitResult::LockFailed;
        } else {
            t.engine().clearError();
            if (replace)
                t.Replace();
            else
                t.Append();
            if (t.engine().lastError() != 0)
                result = CommitResult::WriteFailed;
            t.Flush();
            t.UnLock();
        }
    }
    int savedError = t.engine().lastError();
    std::string savedText = t.engine().lastErrorText();
    t.setActive(false);
    t.setActive(true);
    if (savedError != 0 && t.engine().lastError() == 0)
        t.engine().setError(savedError, savedText);
    return result;
}

} // namespace qb::engine

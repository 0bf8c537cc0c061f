#include "MessageStore.h"

#include "engine/TTzDbf.h"
#include "platform/CodePage.h"

namespace qb::messages {

std::vector<std::string> messageFieldList()
{
    return {"no, N, 4, 0",    "read, L, 1, 0",   "fromid, N, 4, 0", "time, C, 18, 0",
            "msg, M, 10, 0",  "from, C, 40, 0",  "subj, C, 40, 0",  "state, C, 1, 0"};
}

std::string messageTableName(int boardIndex) { return "msg" + std::to_string(boardIndex) + ".dbf"; }

bool appendMessage(board::Station& station, int recipient, const Message& message)
{
    engine::TTzDbf table("QBSendMsg", station.engine);
    table.DbfFields = messageFieldList();
    table.setDbfFileName(station.dataPath(messageTableName(recipient)));
    if (!table.openOrCreate())
        return false;
    table.ClearRecord();
    std::vector<std::string> stored;
    for (const auto& line : message.lines)
        stored.push_back(platform::fromUtf8(line, table.codePage()));
    if (stored.empty())
        stored.emplace_back(" "); // an empty text is stored as one blank line
    bool ok = false;
    for (int attempt = 0; attempt < 8 && !ok; ++attempt) {
        if (!table.ALock()) {
            station.pause(std::chrono::milliseconds(20));
            continue;
        }
        table.SetLongField("no", table.RecCount());
        table.SetLField("read", message.read);
        table.SetLongField("fromid", message.fromId);
        table.setText("time", message.time);
        table.setText("from", message.from);
        table.setText("subj", message.subject);
        table.SetCField("state", std::string(1, static_cast<char>(message.flags)));
        station.engine.clearError();
        if (table.SetMField("msg", stored)) {
            table.Append();
            ok = station.engine.lastError() == 0;
        }
        table.Flush();
        table.UnLock();
        break;
    }
    table.setActive(false);
    return ok;
}

} // namespace qb::messages

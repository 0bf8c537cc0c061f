// Commands of the program's test-only control socket (switched on with
// QB_TEST_CONTROL, see board/TestHooks.h) that drive and observe messaging
// in a running qbp3, for tests with several real stations:
//   send INDEX SUBJECT...  opens the send window for board index INDEX,
//                          types SUBJECT and a text, clicks "&Send";
//                          answers "ok sent" or "error ..."
//   messages               "ok reader=0|1 green=0|1 alert=N subject=TEXT"
//                          (the reader's state and the message it shows)
//   close-reader           closes the reader as its "&Close" does
#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace qb::messages {

class MessagingController;

using TestCommand = std::function<QString(const QStringList& words)>;
std::vector<std::pair<QString, TestCommand>> messagingTestCommands(MessagingController& messaging,
                                                                   std::function<std::string(int)> nameOf);

} // namespace qb::messages

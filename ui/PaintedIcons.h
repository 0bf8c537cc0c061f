// The small icons the program paints itself instead of taking them from an
// icon theme: the program's own, the notification area's In and Out lamps,
// the remark prompts' window icons and the messages' envelopes. One place,
// so that they keep one size and one look.
#pragma once

#include <QColor>
#include <QIcon>

namespace qb::ui::icons {

// The program: a board with a green, a red and a green row.
QIcon board();
// A round lamp in the colour of a state, so that In and Out differ at a
// glance in a crowded notification area.
QIcon lamp(const QColor& fill);
// The card of the employee information window.
QIcon card();
// A short list of coloured remark bars (the remark pick list).
QIcon pickList();
// A calendar leaf with one day marked (the date and text prompts).
QIcon calendarLeaf();
// An envelope, with a round exclamation mark in the colour mark when asked.
QIcon envelope(const QColor& paper, const QColor& mark, bool exclamation);

} // namespace qb::ui::icons

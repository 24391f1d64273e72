#pragma once
// The words of the connection dialogs: the title of each link state and the message
// line of each dialog at each step of the search. The one place where a link state
// becomes text.

#include "link/LinkDialogs.h"

#include <QString>

QString LinkStateTitle(LinkState state);
// The message line of dialog `d` in state `s`.
QString LinkLineText(LinkDialog d, const LinkDialogState& s);

#pragma once

#include <QString>

// The numbered message texts of the client (resources/strings.inc), compiled in.
// An unknown id answers the empty text.
QString LoadString(int id);
bool HasString(int id);

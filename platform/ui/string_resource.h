// The string table of the program's resources: message texts by id, as the
// platform's string loading gives them. The stand-in keeps the table of the
// Data Validation report (ids 6 to 25); "%s" and "%d" in a text are filled
// by its user.
#pragma once

// The text of string `id`, or null when the table holds no such id.
const char* FindStringResource(int id);

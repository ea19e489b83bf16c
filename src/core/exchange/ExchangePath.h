#pragma once

#include "core/exchange/ExchangeState.h"

#include <QString>

// The file named on the first page of the address book's exchange wizard: whether it can lead on, and if not
// why, in the words the page shows under the name.
namespace norvi {

struct ExchangePathCheck {
    bool usable = false;
    QString problem;       // empty when usable, or when nothing was typed yet
    QString missingFolder; // the folder an export would write into, when it is missing: the user may make it
};

// The file a typed name means: "~" and a name under "~/" are in the home folder, as the file dialogs and a
// shell read them; any other name is taken as typed.
QString TypedExchangePath(const QString& typed);

// An import needs a file that is there; an export needs a folder that is there and takes new files (a file
// already there is asked about before it is replaced).
ExchangePathCheck CheckExchangePath(ExchangeDirection direction, const QString& path);

// A name typed without an extension gets `extension` (".csv"); a name that has one keeps it.
QString WithTypedExtension(const QString& name, const QString& extension);
// The extension of a text file type: ".csv" for comma-separated, ".txt" for space-separated.
QString ExchangeExtension(int textFileType);

} // namespace norvi

// The last step of every run: which presets still lack archives.
#pragma once

#include "lists/name_set.h"
#include "preset/catalogue.h"
#include "reconcile/log_pane.h"

namespace kvo {

// Writes the count of presets with nothing missing and with something
// missing from `plugin`, then lists every incomplete preset, in the
// catalogue's order, with the archives it lacks. Lines are formatted into
// `lineBuffer`; the listing is written with the pane's repainting off.
void ReportPresetStatus(const Catalogue& catalogue, const NameSet& plugin, LogPaneTarget* pane,
                        char16_t* lineBuffer);

}  // namespace kvo

// The last step of every run: which presets still lack archives.
#pragma once

#include "lists/name_set.h"
#include "preset/catalogue.h"
#include "reconcile/log_pane.h"

namespace kvo {

// Writes into `pane` the count of presets with nothing missing and with
// something missing from `plugin`, then lists every incomplete preset, in
// the catalogue's order, with the archives it lacks. The listing is written
// with the pane's repainting off.
void ReportPresetStatus(LogPane& pane, const Catalogue& catalogue, const NameSet& plugin);

}  // namespace kvo

#pragma once

#include "content_image_builder.h"

namespace kestrix::test_support {

// One image holding an item of every format the content search knows (the
// four pictures; MIDI, RMID, AMR-NB and -WB, MP3, WAV, QCP of QCELP and of
// EVRC, iMelody, SMAF; JAR and its descriptor), each placed whole on its own,
// whole as a named file-system entry (Windows-1251 names, and Windows-1251
// text in the iMelody's NAME and the descriptor's MIDlet-Name), and cut by
// erased flash; beside them broken ones (a SMAF with a bad CRC, an iMelody
// off its grammar, a QCP whose packets no codec reads, a MIDI without notes)
// and an entry of no known format (a bitmap and a WAV are cut in their
// headers: erased flash after their pixels or samples reads as data). Items are expected with the statuses the
// decoders' verdicts give: whole items Complete with exact ends; cut and
// broken ones with Truncated or Damaged at their start (their End is 0: where
// a cut item ends is its walk's business); the entry of no format Unchecked.
ContentImage BuildFormatsImage();

}  // namespace kestrix::test_support

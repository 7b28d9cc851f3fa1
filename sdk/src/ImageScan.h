// Chooses the tree an image shows: UDF when it is present and sound, else the
// ISO 9660 family; names and sizes that the other tree records better for the
// same data are taken over.
#pragma once

#include "ByteSource.h"
#include "IsoParser.h"
#include "Records.h"

namespace vbe {

ScanStatus scanImage(ByteSource& logical, Tree& tree, const ScanControl& control = {});

// Gives entries of shown the longer name or the larger size that other records
// for the same data extent (files) or the same place (folders). False when
// aborted through control.
bool takeBetterRecords(Tree& shown, const Tree& other, const ScanControl& control = {});

} // namespace vbe

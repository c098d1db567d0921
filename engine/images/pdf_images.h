#pragma once
// The file-level handling of a PDF held in memory: recognise it, find its JFIF JPEG streams, read and
// sort their dictionaries, write the images to temporary files, and write the edited PDF.
// Call order for one file: isPdf, findJpegStreams, readImageDictionaries, sortImageRecords,
// checkImageRanges, tempImageName, writeTempImages, (workers), updateStreamLengths, applyGrayRule,
// plannedImageReplacements, editedPdfPath, writeEditedPdf. A refusal ends the file with no output.
// The PDF is a flat string of bytes here: no object, cross-reference table or page tree is parsed.
// All functions run on the batch thread.

#include "engine/images/edited_pdf_writer.h"
#include "engine/pdf/refusal.h"
#include "engine/images/image_dictionaries.h"
#include "engine/images/image_ranges.h"
#include "engine/images/jpeg_stream_search.h"
#include "engine/images/temp_images.h"

#include "decode/JpegCodec.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>
// After jpeglib.h.
#include <jerror.h>

#include "decode/PixelMemory.h"

namespace {

struct TErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
  int code;
  bool dataEnded;
};

void ErrorExit(j_common_ptr cinfo) {
  auto* manager = reinterpret_cast<TErrorManager*>(cinfo->err);
  manager->code = manager->base.msg_code > 0 ? manager->base.msg_code : 1;
  std::longjmp(manager->jump, 1);
}

// Warnings (corrupt data the library can live with) are not printed anywhere.
void OutputMessage(j_common_ptr) {}

// Data that ends before the last row (a broken download) is an error here: it would give a
// picture grey below the cut. The end of the data alone is not: a file that lacks only its end
// marker (cameras and downloads make them) has every row. So the end counts once the decoder
// then needs bits it does not have. Other warnings, such as stray bytes before a marker, pass.
void EmitMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;
  auto* manager = reinterpret_cast<TErrorManager*>(cinfo->err);
  if (cinfo->err->msg_code == JWRN_JPEG_EOF) manager->dataEnded = true;
  if (cinfo->err->msg_code == JWRN_HIT_MARKER && manager->dataEnded) ErrorExit(cinfo);
}

void InitErrors(TErrorManager& manager) {
  jpeg_std_error(&manager.base);
  manager.base.error_exit = ErrorExit;
  manager.base.output_message = OutputMessage;
  manager.base.emit_message = EmitMessage;
  manager.code = 0;
  manager.dataEnded = false;
}

struct TProgress {
  jpeg_progress_mgr base;
  const TJpegSink* sink;
  TErrorManager* errors;
  int lastPercent;
};

void ProgressHook(j_common_ptr cinfo) {
  auto* progress = reinterpret_cast<TProgress*>(cinfo->progress);
  if (progress->sink->Progress == nullptr) return;
  const jpeg_progress_mgr& p = progress->base;
  if (p.pass_limit <= 0 || p.total_passes <= 0) return;
  const double done = static_cast<double>(p.pass_counter) / static_cast<double>(p.pass_limit) +
                      static_cast<double>(p.completed_passes);
  const int percent = static_cast<int>(done * 100 / static_cast<double>(p.total_passes));
  if (percent == progress->lastPercent) return;
  progress->lastPercent = percent;
  if (progress->sink->Progress(progress->sink->Context, percent)) {
    progress->errors->code = kJpegAborted;
    std::longjmp(progress->errors->jump, 1);
  }
}

}  // namespace

int ReadJpegHeader(const uint8_t* data, size_t size, TJpegHeader& header) {
  jpeg_decompress_struct cinfo;
  TErrorManager errors;
  InitErrors(errors);
  cinfo.err = &errors.base;
  if (setjmp(errors.jump) != 0) {
    jpeg_destroy_decompress(&cinfo);
    return errors.code;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(&cinfo, TRUE);
  header.Width = static_cast<int>(cinfo.image_width);
  header.Height = static_cast<int>(cinfo.image_height);
  header.Components = cinfo.num_components;
  header.Grey = cinfo.jpeg_color_space == JCS_GRAYSCALE;
  header.Progressive = jpeg_has_multiple_scans(&cinfo) != 0;
  jpeg_destroy_decompress(&cinfo);
  return 0;
}

int DecodeJpeg(const uint8_t* data, size_t size, const TJpegDecodeOptions& options,
               const TJpegSink& sink) {
  jpeg_decompress_struct cinfo;
  TErrorManager errors;
  TProgress progress;
  InitErrors(errors);
  cinfo.err = &errors.base;
  if (setjmp(errors.jump) != 0) {
    jpeg_destroy_decompress(&cinfo);
    return errors.code;
  }
  jpeg_create_decompress(&cinfo);
  progress.base.progress_monitor = ProgressHook;
  progress.sink = &sink;
  progress.errors = &errors;
  progress.lastPercent = -1;
  cinfo.progress = &progress.base;
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(&cinfo, TRUE);
  // Refuse a picture whose pixels would not fit, before the library allocates anything big.
  if (RowBytes(cinfo.image_width, 24) * cinfo.image_height > kMaxJpegPixelBytes) {
    jpeg_destroy_decompress(&cinfo);
    return kJpegTooLarge;
  }
  cinfo.scale_num = 1;
  cinfo.scale_denom = static_cast<unsigned>(options.ScaleDenominator);
  cinfo.do_block_smoothing = options.Smoothing ? TRUE : FALSE;
  if (options.FastDct) cinfo.dct_method = JDCT_IFAST;
  const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  const bool grey = options.Grayscale || cinfo.jpeg_color_space == JCS_GRAYSCALE;
  const bool adobeInverted = cmyk && cinfo.saw_Adobe_marker;
  if (grey) {
    cinfo.out_color_space = JCS_GRAYSCALE;
  } else if (cmyk) {
    cinfo.out_color_space = JCS_CMYK;
  } else {
    cinfo.out_color_space = JCS_EXT_BGR;
    if (options.Quantize) {
      cinfo.out_color_space = JCS_RGB;
      cinfo.quantize_colors = TRUE;
      cinfo.desired_number_of_colors = 236;
    }
  }
  jpeg_start_decompress(&cinfo);
  const int width = static_cast<int>(cinfo.output_width);
  const int height = static_cast<int>(cinfo.output_height);
  const bool quantized = cinfo.quantize_colors != 0;
  uint8_t map[256 * 3];
  if (quantized) {
    for (int i = 0; i < cinfo.actual_number_of_colors; ++i) {
      map[i * 3] = cinfo.colormap[0][i];
      map[i * 3 + 1] = cinfo.colormap[1][i];
      map[i * 3 + 2] = cinfo.colormap[2][i];
    }
  }
  const int components = (grey || quantized) ? 1 : 3;
  if (!sink.Begin(sink.Context, width, height, components, quantized ? map : nullptr,
                  quantized ? cinfo.actual_number_of_colors : 0)) {
    jpeg_destroy_decompress(&cinfo);
    return kJpegAborted;
  }
  // CMYK rows are decoded into a row of the library's own memory and converted.
  JSAMPARRAY cmykRow = cmyk ? (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo),
                                                         JPOOL_IMAGE, cinfo.output_width * 4, 1)
                            : nullptr;
  while (cinfo.output_scanline < cinfo.output_height) {
    const int y = static_cast<int>(cinfo.output_scanline);
    uint8_t* target = sink.Row(sink.Context, y);
    if (!cmyk) {
      JSAMPROW row = target;
      jpeg_read_scanlines(&cinfo, &row, 1);
      continue;
    }
    jpeg_read_scanlines(&cinfo, cmykRow, 1);
    const uint8_t* in = cmykRow[0];
    for (int x = 0; x < width; ++x, in += 4) {
      // Adobe writes CMYK inverted: the stored values are already 255 - ink.
      const unsigned c = adobeInverted ? in[0] : 255u - in[0];
      const unsigned m = adobeInverted ? in[1] : 255u - in[1];
      const unsigned yy = adobeInverted ? in[2] : 255u - in[2];
      const unsigned k = adobeInverted ? in[3] : 255u - in[3];
      target[x * 3] = static_cast<uint8_t>((yy * k + 127) / 255);
      target[x * 3 + 1] = static_cast<uint8_t>((m * k + 127) / 255);
      target[x * 3 + 2] = static_cast<uint8_t>((c * k + 127) / 255);
    }
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return 0;
}

int EncodeJpeg(int width, int height, int quality, bool grey, bool progressive,
               const uint8_t* (*rowAt)(void* context, int y), void* context,
               std::vector<uint8_t>& out) {
  jpeg_compress_struct cinfo;
  TErrorManager errors;
  unsigned char* buffer = nullptr;
  unsigned long bufferSize = 0;
  JSAMPARRAY greyRow = nullptr;
  InitErrors(errors);
  cinfo.err = &errors.base;
  if (setjmp(errors.jump) != 0) {
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return errors.code;
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, &buffer, &bufferSize);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = grey ? 1 : 3;
  cinfo.in_color_space = grey ? JCS_GRAYSCALE : JCS_EXT_BGR;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  if (progressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  if (grey) {
    greyRow = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                         static_cast<JDIMENSION>(width), 1);
  }
  while (cinfo.next_scanline < cinfo.image_height) {
    const uint8_t* bgr = rowAt(context, static_cast<int>(cinfo.next_scanline));
    if (grey) {
      for (int x = 0; x < width; ++x) {
        greyRow[0][x] = static_cast<JSAMPLE>(
            (bgr[x * 3 + 2] * 299 + bgr[x * 3 + 1] * 587 + bgr[x * 3] * 114 + 500) / 1000);
      }
      jpeg_write_scanlines(&cinfo, greyRow, 1);
    } else {
      JSAMPROW row = const_cast<JSAMPROW>(bgr);
      jpeg_write_scanlines(&cinfo, &row, 1);
    }
  }
  jpeg_finish_compress(&cinfo);
  out.assign(buffer, buffer + bufferSize);
  jpeg_destroy_compress(&cinfo);
  std::free(buffer);
  return 0;
}

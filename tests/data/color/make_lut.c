/* Writes an RGB display profile whose colours are given by a table (A2B0 to Lab, a 17-point
   grid) instead of curves and a matrix, as printer-calibrated and some camera profiles are: the
   table samples the Display P3 profile named on the command line.
     make_lut P3.icc OUT.icc */
#include <lcms2.h>
#include <stdio.h>

static int Sample(const cmsUInt16Number in[], cmsUInt16Number out[], void* cargo) {
  cmsDoTransform((cmsHTRANSFORM)cargo, in, out, 1);
  return 1;
}

static void Report(cmsContext c, cmsUInt32Number code, const char* text) { (void)c; fprintf(stderr, "lcms %u: %s\n", code, text); }
int main(int argc, char** argv) {
  cmsSetLogErrorHandler(Report);
  if (argc != 3) return 2;
  cmsHPROFILE p3 = cmsOpenProfileFromFile(argv[1], "r");
  cmsHPROFILE lab = cmsCreateLab4Profile(NULL);
  if (p3 == NULL || lab == NULL) { fprintf(stderr, "open\n"); return 1; }
  cmsHTRANSFORM toLab = cmsCreateTransform(p3, TYPE_RGB_16, lab, TYPE_Lab_16,
                                           INTENT_PERCEPTUAL, cmsFLAGS_NOOPTIMIZE);
  cmsHPROFILE out = cmsCreateProfilePlaceholder(NULL);
  cmsSetProfileVersion(out, 4.3);
  cmsSetDeviceClass(out, cmsSigDisplayClass);
  cmsSetColorSpace(out, cmsSigRgbData);
  cmsSetPCS(out, cmsSigLabData);
  cmsPipeline* table = cmsPipelineAlloc(NULL, 3, 3);
  cmsStage* grid = cmsStageAllocCLut16bit(NULL, 17, 3, 3, NULL);
  if (toLab == NULL || table == NULL || grid == NULL) { fprintf(stderr, "alloc %p %p %p\n", (void*)toLab, (void*)table, (void*)grid); return 1; }
  cmsStageSampleCLut16bit(grid, Sample, toLab, 0);
  cmsPipelineInsertStage(table, cmsAT_END, cmsStageAllocToneCurves(NULL, 3, NULL));
  cmsPipelineInsertStage(table, cmsAT_END, grid);
  cmsPipelineInsertStage(table, cmsAT_END, cmsStageAllocToneCurves(NULL, 3, NULL));
  cmsWriteTag(out, cmsSigAToB0Tag, table);
  cmsWriteTag(out, cmsSigMediaWhitePointTag, cmsD50_XYZ());
  cmsMLU* text = cmsMLUalloc(NULL, 1);
  cmsMLUsetASCII(text, "en", "US", "Display P3 as a table (Vesko 2 tests)");
  cmsWriteTag(out, cmsSigProfileDescriptionTag, text);
  const int saved = cmsSaveProfileToFile(out, argv[2]);
  cmsMLUfree(text);
  cmsPipelineFree(table);
  cmsDeleteTransform(toLab);
  cmsCloseProfile(out);
  cmsCloseProfile(lab);
  cmsCloseProfile(p3);
  return saved ? 0 : 1;
}

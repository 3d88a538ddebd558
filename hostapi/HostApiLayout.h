// HostApiLayout.h - compile-time proof that our declarations have the byte
// layout hosts were compiled with, on x86 and on x64. Every offset and size here
// was measured against real hosts and plug-ins; a failing assertion means the
// declaration, not the number, is wrong.
#pragma once

#include "hostapi/FilterRecord.h"

#include <cstddef>

#define GW_HOSTAPI_OFFSET(x86, x64) (sizeof(void*) == 4 ? std::size_t{x86} : std::size_t{x64})

static_assert(sizeof(void*) == 4 || sizeof(void*) == 8);

// Small structures: identical on both architectures.
static_assert(sizeof(Point16) == 4 && offsetof(Point16, v) == 0 && offsetof(Point16, h) == 2);
static_assert(sizeof(Rect16) == 8 && offsetof(Rect16, top) == 0 && offsetof(Rect16, left) == 2);
static_assert(offsetof(Rect16, bottom) == 4 && offsetof(Rect16, right) == 6);
static_assert(sizeof(VPoint) == 8 && offsetof(VPoint, v) == 0 && offsetof(VPoint, h) == 4);
static_assert(sizeof(VRect) == 16 && offsetof(VRect, bottom) == 8 && offsetof(VRect, right) == 12);
static_assert(sizeof(RGBColor) == 6 && sizeof(FilterColor) == 4 && sizeof(PlugInMonitor) == 40);
static_assert(sizeof(PlatformData) == GW_HOSTAPI_OFFSET(4, 8));

// FilterRecord: packing 4 on both architectures.
static_assert(offsetof(FilterRecord, serialNumber) == GW_HOSTAPI_OFFSET(0, 0));
static_assert(offsetof(FilterRecord, abortProc) == GW_HOSTAPI_OFFSET(4, 4));
static_assert(offsetof(FilterRecord, progressProc) == GW_HOSTAPI_OFFSET(8, 12));
static_assert(offsetof(FilterRecord, parameters) == GW_HOSTAPI_OFFSET(12, 20));
static_assert(offsetof(FilterRecord, imageSize) == GW_HOSTAPI_OFFSET(16, 28));
static_assert(offsetof(FilterRecord, planes) == GW_HOSTAPI_OFFSET(20, 32));
static_assert(offsetof(FilterRecord, filterRect) == GW_HOSTAPI_OFFSET(22, 34));
static_assert(offsetof(FilterRecord, background) == GW_HOSTAPI_OFFSET(30, 42));
static_assert(offsetof(FilterRecord, foreground) == GW_HOSTAPI_OFFSET(36, 48));
static_assert(offsetof(FilterRecord, maxSpace) == GW_HOSTAPI_OFFSET(44, 56));
static_assert(offsetof(FilterRecord, bufferSpace) == GW_HOSTAPI_OFFSET(48, 60));
static_assert(offsetof(FilterRecord, inRect) == GW_HOSTAPI_OFFSET(52, 64));
static_assert(offsetof(FilterRecord, inLoPlane) == GW_HOSTAPI_OFFSET(60, 72));
static_assert(offsetof(FilterRecord, inHiPlane) == GW_HOSTAPI_OFFSET(62, 74));
static_assert(offsetof(FilterRecord, outRect) == GW_HOSTAPI_OFFSET(64, 76));
static_assert(offsetof(FilterRecord, outLoPlane) == GW_HOSTAPI_OFFSET(72, 84));
static_assert(offsetof(FilterRecord, outHiPlane) == GW_HOSTAPI_OFFSET(74, 86));
static_assert(offsetof(FilterRecord, inData) == GW_HOSTAPI_OFFSET(76, 88));
static_assert(offsetof(FilterRecord, inRowBytes) == GW_HOSTAPI_OFFSET(80, 96));
static_assert(offsetof(FilterRecord, outData) == GW_HOSTAPI_OFFSET(84, 100));
static_assert(offsetof(FilterRecord, outRowBytes) == GW_HOSTAPI_OFFSET(88, 108));
static_assert(offsetof(FilterRecord, isFloating) == GW_HOSTAPI_OFFSET(92, 112));
static_assert(offsetof(FilterRecord, haveMask) == GW_HOSTAPI_OFFSET(93, 113));
static_assert(offsetof(FilterRecord, autoMask) == GW_HOSTAPI_OFFSET(94, 114));
static_assert(offsetof(FilterRecord, maskRect) == GW_HOSTAPI_OFFSET(96, 116));
static_assert(offsetof(FilterRecord, maskData) == GW_HOSTAPI_OFFSET(104, 124));
static_assert(offsetof(FilterRecord, maskRowBytes) == GW_HOSTAPI_OFFSET(108, 132));
static_assert(offsetof(FilterRecord, backColor) == GW_HOSTAPI_OFFSET(112, 136));
static_assert(offsetof(FilterRecord, foreColor) == GW_HOSTAPI_OFFSET(116, 140));
static_assert(offsetof(FilterRecord, hostSig) == GW_HOSTAPI_OFFSET(120, 144));
static_assert(offsetof(FilterRecord, hostProc) == GW_HOSTAPI_OFFSET(124, 148));
static_assert(offsetof(FilterRecord, imageMode) == GW_HOSTAPI_OFFSET(128, 156));
static_assert(offsetof(FilterRecord, imageHRes) == GW_HOSTAPI_OFFSET(132, 160));
static_assert(offsetof(FilterRecord, imageVRes) == GW_HOSTAPI_OFFSET(136, 164));
static_assert(offsetof(FilterRecord, floatCoord) == GW_HOSTAPI_OFFSET(140, 168));
static_assert(offsetof(FilterRecord, wholeSize) == GW_HOSTAPI_OFFSET(144, 172));
static_assert(offsetof(FilterRecord, monitor) == GW_HOSTAPI_OFFSET(148, 176));
static_assert(offsetof(FilterRecord, platformData) == GW_HOSTAPI_OFFSET(188, 216));
static_assert(offsetof(FilterRecord, bufferProcs) == GW_HOSTAPI_OFFSET(192, 224));
static_assert(offsetof(FilterRecord, resourceProcs) == GW_HOSTAPI_OFFSET(196, 232));
static_assert(offsetof(FilterRecord, processEvent) == GW_HOSTAPI_OFFSET(200, 240));
static_assert(offsetof(FilterRecord, displayPixels) == GW_HOSTAPI_OFFSET(204, 248));
static_assert(offsetof(FilterRecord, handleProcs) == GW_HOSTAPI_OFFSET(208, 256));
static_assert(offsetof(FilterRecord, supportsDummyChannels) == GW_HOSTAPI_OFFSET(212, 264));
static_assert(offsetof(FilterRecord, supportsAlternateLayouts) == GW_HOSTAPI_OFFSET(213, 265));
static_assert(offsetof(FilterRecord, wantLayout) == GW_HOSTAPI_OFFSET(214, 266));
static_assert(offsetof(FilterRecord, filterCase) == GW_HOSTAPI_OFFSET(216, 268));
static_assert(offsetof(FilterRecord, dummyPlaneValue) == GW_HOSTAPI_OFFSET(218, 270));
static_assert(offsetof(FilterRecord, premiereHook) == GW_HOSTAPI_OFFSET(220, 272));
static_assert(offsetof(FilterRecord, advanceState) == GW_HOSTAPI_OFFSET(224, 280));
static_assert(offsetof(FilterRecord, supportsAbsolute) == GW_HOSTAPI_OFFSET(228, 288));
static_assert(offsetof(FilterRecord, wantsAbsolute) == GW_HOSTAPI_OFFSET(229, 289));
static_assert(offsetof(FilterRecord, getPropertyObsolete) == GW_HOSTAPI_OFFSET(232, 292));
static_assert(offsetof(FilterRecord, cannotUndo) == GW_HOSTAPI_OFFSET(236, 300));
static_assert(offsetof(FilterRecord, supportsPadding) == GW_HOSTAPI_OFFSET(237, 301));
static_assert(offsetof(FilterRecord, inputPadding) == GW_HOSTAPI_OFFSET(238, 302));
static_assert(offsetof(FilterRecord, outputPadding) == GW_HOSTAPI_OFFSET(240, 304));
static_assert(offsetof(FilterRecord, maskPadding) == GW_HOSTAPI_OFFSET(242, 306));
static_assert(offsetof(FilterRecord, samplingSupport) == GW_HOSTAPI_OFFSET(244, 308));
static_assert(offsetof(FilterRecord, reservedByte) == GW_HOSTAPI_OFFSET(245, 309));
static_assert(offsetof(FilterRecord, inputRate) == GW_HOSTAPI_OFFSET(248, 312));
static_assert(offsetof(FilterRecord, maskRate) == GW_HOSTAPI_OFFSET(252, 316));
static_assert(offsetof(FilterRecord, colorServices) == GW_HOSTAPI_OFFSET(256, 320));
static_assert(offsetof(FilterRecord, inLayerPlanes) == GW_HOSTAPI_OFFSET(260, 328));
static_assert(offsetof(FilterRecord, inTransparencyMask) == GW_HOSTAPI_OFFSET(262, 330));
static_assert(offsetof(FilterRecord, inLayerMasks) == GW_HOSTAPI_OFFSET(264, 332));
static_assert(offsetof(FilterRecord, inInvertedLayerMasks) == GW_HOSTAPI_OFFSET(266, 334));
static_assert(offsetof(FilterRecord, inNonLayerPlanes) == GW_HOSTAPI_OFFSET(268, 336));
static_assert(offsetof(FilterRecord, outLayerPlanes) == GW_HOSTAPI_OFFSET(270, 338));
static_assert(offsetof(FilterRecord, outTransparencyMask) == GW_HOSTAPI_OFFSET(272, 340));
static_assert(offsetof(FilterRecord, outLayerMasks) == GW_HOSTAPI_OFFSET(274, 342));
static_assert(offsetof(FilterRecord, outInvertedLayerMasks) == GW_HOSTAPI_OFFSET(276, 344));
static_assert(offsetof(FilterRecord, outNonLayerPlanes) == GW_HOSTAPI_OFFSET(278, 346));
static_assert(offsetof(FilterRecord, absLayerPlanes) == GW_HOSTAPI_OFFSET(280, 348));
static_assert(offsetof(FilterRecord, absTransparencyMask) == GW_HOSTAPI_OFFSET(282, 350));
static_assert(offsetof(FilterRecord, absLayerMasks) == GW_HOSTAPI_OFFSET(284, 352));
static_assert(offsetof(FilterRecord, absInvertedLayerMasks) == GW_HOSTAPI_OFFSET(286, 354));
static_assert(offsetof(FilterRecord, absNonLayerPlanes) == GW_HOSTAPI_OFFSET(288, 356));
static_assert(offsetof(FilterRecord, inPreDummyPlanes) == GW_HOSTAPI_OFFSET(290, 358));
static_assert(offsetof(FilterRecord, inPostDummyPlanes) == GW_HOSTAPI_OFFSET(292, 360));
static_assert(offsetof(FilterRecord, outPreDummyPlanes) == GW_HOSTAPI_OFFSET(294, 362));
static_assert(offsetof(FilterRecord, outPostDummyPlanes) == GW_HOSTAPI_OFFSET(296, 364));
static_assert(offsetof(FilterRecord, inColumnBytes) == GW_HOSTAPI_OFFSET(300, 368));
static_assert(offsetof(FilterRecord, inPlaneBytes) == GW_HOSTAPI_OFFSET(304, 372));
static_assert(offsetof(FilterRecord, outColumnBytes) == GW_HOSTAPI_OFFSET(308, 376));
static_assert(offsetof(FilterRecord, outPlaneBytes) == GW_HOSTAPI_OFFSET(312, 380));
static_assert(offsetof(FilterRecord, imageServicesProcs) == GW_HOSTAPI_OFFSET(316, 384));
static_assert(offsetof(FilterRecord, propertyProcs) == GW_HOSTAPI_OFFSET(320, 392));
static_assert(offsetof(FilterRecord, inTileHeight) == GW_HOSTAPI_OFFSET(324, 400));
static_assert(offsetof(FilterRecord, inTileWidth) == GW_HOSTAPI_OFFSET(326, 402));
static_assert(offsetof(FilterRecord, inTileOrigin) == GW_HOSTAPI_OFFSET(328, 404));
static_assert(offsetof(FilterRecord, absTileHeight) == GW_HOSTAPI_OFFSET(332, 408));
static_assert(offsetof(FilterRecord, absTileWidth) == GW_HOSTAPI_OFFSET(334, 410));
static_assert(offsetof(FilterRecord, absTileOrigin) == GW_HOSTAPI_OFFSET(336, 412));
static_assert(offsetof(FilterRecord, outTileHeight) == GW_HOSTAPI_OFFSET(340, 416));
static_assert(offsetof(FilterRecord, outTileWidth) == GW_HOSTAPI_OFFSET(342, 418));
static_assert(offsetof(FilterRecord, outTileOrigin) == GW_HOSTAPI_OFFSET(344, 420));
static_assert(offsetof(FilterRecord, maskTileHeight) == GW_HOSTAPI_OFFSET(348, 424));
static_assert(offsetof(FilterRecord, maskTileWidth) == GW_HOSTAPI_OFFSET(350, 426));
static_assert(offsetof(FilterRecord, maskTileOrigin) == GW_HOSTAPI_OFFSET(352, 428));
static_assert(offsetof(FilterRecord, descriptorParameters) == GW_HOSTAPI_OFFSET(356, 432));
static_assert(offsetof(FilterRecord, errorString) == GW_HOSTAPI_OFFSET(360, 440));
static_assert(offsetof(FilterRecord, channelPortProcs) == GW_HOSTAPI_OFFSET(364, 448));
static_assert(offsetof(FilterRecord, documentInfo) == GW_HOSTAPI_OFFSET(368, 456));
static_assert(offsetof(FilterRecord, sSPBasic) == GW_HOSTAPI_OFFSET(372, 464));
static_assert(offsetof(FilterRecord, plugInRef) == GW_HOSTAPI_OFFSET(376, 472));
static_assert(offsetof(FilterRecord, depth) == GW_HOSTAPI_OFFSET(380, 480));
static_assert(offsetof(FilterRecord, iCCprofileData) == GW_HOSTAPI_OFFSET(384, 484));
static_assert(offsetof(FilterRecord, iCCprofileSize) == GW_HOSTAPI_OFFSET(388, 492));
static_assert(offsetof(FilterRecord, canUseICCProfiles) == GW_HOSTAPI_OFFSET(392, 496));
static_assert(offsetof(FilterRecord, hasImageScrap) == GW_HOSTAPI_OFFSET(396, 500));
static_assert(offsetof(FilterRecord, bigDocumentData) == GW_HOSTAPI_OFFSET(400, 504));
static_assert(offsetof(FilterRecord, input3DScene) == GW_HOSTAPI_OFFSET(404, 512));
static_assert(offsetof(FilterRecord, output3DScene) == GW_HOSTAPI_OFFSET(408, 520));
static_assert(offsetof(FilterRecord, createNewLayer) == GW_HOSTAPI_OFFSET(412, 528));
static_assert(offsetof(FilterRecord, iCCWorkingProfileData) == GW_HOSTAPI_OFFSET(416, 532));
static_assert(offsetof(FilterRecord, iCCWorkingProfileSize) == GW_HOSTAPI_OFFSET(420, 540));
static_assert(offsetof(FilterRecord, bufferSpace64) == GW_HOSTAPI_OFFSET(424, 544));
static_assert(offsetof(FilterRecord, maxSpace64) == GW_HOSTAPI_OFFSET(432, 552));
static_assert(offsetof(FilterRecord, reserved) == GW_HOSTAPI_OFFSET(440, 560));
static_assert(sizeof(FilterRecord) == GW_HOSTAPI_OFFSET(488, 608));

// BigDocumentStruct: all 32-bit members, same on both.
static_assert(offsetof(BigDocumentStruct, PluginUsing32BitCoordinates) == GW_HOSTAPI_OFFSET(0, 0));
static_assert(offsetof(BigDocumentStruct, imageSize32) == GW_HOSTAPI_OFFSET(4, 4));
static_assert(offsetof(BigDocumentStruct, filterRect32) == GW_HOSTAPI_OFFSET(12, 12));
static_assert(offsetof(BigDocumentStruct, inRect32) == GW_HOSTAPI_OFFSET(28, 28));
static_assert(offsetof(BigDocumentStruct, outRect32) == GW_HOSTAPI_OFFSET(44, 44));
static_assert(offsetof(BigDocumentStruct, maskRect32) == GW_HOSTAPI_OFFSET(60, 60));
static_assert(offsetof(BigDocumentStruct, floatCoord32) == GW_HOSTAPI_OFFSET(76, 76));
static_assert(offsetof(BigDocumentStruct, wholeSize32) == GW_HOSTAPI_OFFSET(84, 84));
static_assert(sizeof(BigDocumentStruct) == 92);

// HandleProcs: natural alignment.
static_assert(offsetof(HandleProcs, handleProcsVersion) == GW_HOSTAPI_OFFSET(0, 0));
static_assert(offsetof(HandleProcs, numHandleProcs) == GW_HOSTAPI_OFFSET(2, 2));
static_assert(offsetof(HandleProcs, newProc) == GW_HOSTAPI_OFFSET(4, 8));
static_assert(offsetof(HandleProcs, disposeProc) == GW_HOSTAPI_OFFSET(8, 16));
static_assert(offsetof(HandleProcs, getSizeProc) == GW_HOSTAPI_OFFSET(12, 24));
static_assert(offsetof(HandleProcs, setSizeProc) == GW_HOSTAPI_OFFSET(16, 32));
static_assert(offsetof(HandleProcs, lockProc) == GW_HOSTAPI_OFFSET(20, 40));
static_assert(offsetof(HandleProcs, unlockProc) == GW_HOSTAPI_OFFSET(24, 48));
static_assert(offsetof(HandleProcs, recoverSpaceProc) == GW_HOSTAPI_OFFSET(28, 56));
static_assert(offsetof(HandleProcs, disposeRegularHandleProc) == GW_HOSTAPI_OFFSET(32, 64));
static_assert(sizeof(HandleProcs) == GW_HOSTAPI_OFFSET(36, 72));

// PSPixelMap (version 1) and PSPixelMask.
static_assert(offsetof(PSPixelMap, version) == GW_HOSTAPI_OFFSET(0, 0));
static_assert(offsetof(PSPixelMap, bounds) == GW_HOSTAPI_OFFSET(4, 4));
static_assert(offsetof(PSPixelMap, imageMode) == GW_HOSTAPI_OFFSET(20, 20));
static_assert(offsetof(PSPixelMap, rowBytes) == GW_HOSTAPI_OFFSET(24, 24));
static_assert(offsetof(PSPixelMap, colBytes) == GW_HOSTAPI_OFFSET(28, 28));
static_assert(offsetof(PSPixelMap, planeBytes) == GW_HOSTAPI_OFFSET(32, 32));
static_assert(offsetof(PSPixelMap, baseAddr) == GW_HOSTAPI_OFFSET(36, 40));
static_assert(offsetof(PSPixelMap, mat) == GW_HOSTAPI_OFFSET(40, 48));
static_assert(offsetof(PSPixelMap, masks) == GW_HOSTAPI_OFFSET(44, 56));
static_assert(offsetof(PSPixelMap, maskPhaseRow) == GW_HOSTAPI_OFFSET(48, 64));
static_assert(offsetof(PSPixelMap, maskPhaseCol) == GW_HOSTAPI_OFFSET(52, 68));
static_assert(sizeof(PSPixelMap) == GW_HOSTAPI_OFFSET(56, 72));
static_assert(offsetof(PSPixelMask, next) == GW_HOSTAPI_OFFSET(0, 0));
static_assert(offsetof(PSPixelMask, maskData) == GW_HOSTAPI_OFFSET(4, 8));
static_assert(offsetof(PSPixelMask, rowBytes) == GW_HOSTAPI_OFFSET(8, 16));
static_assert(offsetof(PSPixelMask, colBytes) == GW_HOSTAPI_OFFSET(12, 20));
static_assert(offsetof(PSPixelMask, maskDescription) == GW_HOSTAPI_OFFSET(16, 24));
static_assert(sizeof(PSPixelMask) == GW_HOSTAPI_OFFSET(20, 32));

// Scripting descriptors: the write table precedes the read table.
static_assert(offsetof(PIDescriptorParameters, descriptorParametersVersion)
              == GW_HOSTAPI_OFFSET(0, 0));
static_assert(offsetof(PIDescriptorParameters, playInfo) == GW_HOSTAPI_OFFSET(2, 2));
static_assert(offsetof(PIDescriptorParameters, recordInfo) == GW_HOSTAPI_OFFSET(4, 4));
static_assert(offsetof(PIDescriptorParameters, descriptor) == GW_HOSTAPI_OFFSET(8, 8));
static_assert(offsetof(PIDescriptorParameters, writeDescriptorProcs) == GW_HOSTAPI_OFFSET(12, 16));
static_assert(offsetof(PIDescriptorParameters, readDescriptorProcs) == GW_HOSTAPI_OFFSET(16, 24));
static_assert(sizeof(PIDescriptorParameters) == GW_HOSTAPI_OFFSET(20, 32));
static_assert(offsetof(WriteDescriptorProcs, writeDescriptorProcsVersion)
              == GW_HOSTAPI_OFFSET(0, 0));
static_assert(offsetof(WriteDescriptorProcs, numWriteDescriptorProcs) == GW_HOSTAPI_OFFSET(2, 2));
static_assert(offsetof(WriteDescriptorProcs, openWriteDescriptorProc) == GW_HOSTAPI_OFFSET(4, 8));
static_assert(offsetof(WriteDescriptorProcs, closeWriteDescriptorProc) == GW_HOSTAPI_OFFSET(8, 16));
static_assert(offsetof(WriteDescriptorProcs, putIntegerProc) == GW_HOSTAPI_OFFSET(12, 24));
static_assert(offsetof(WriteDescriptorProcs, putFloatProc) == GW_HOSTAPI_OFFSET(16, 32));
static_assert(offsetof(WriteDescriptorProcs, putUnitFloatProc) == GW_HOSTAPI_OFFSET(20, 40));
static_assert(offsetof(WriteDescriptorProcs, putBooleanProc) == GW_HOSTAPI_OFFSET(24, 48));
static_assert(offsetof(WriteDescriptorProcs, putTextProc) == GW_HOSTAPI_OFFSET(28, 56));
static_assert(offsetof(WriteDescriptorProcs, putAliasProc) == GW_HOSTAPI_OFFSET(32, 64));
static_assert(offsetof(WriteDescriptorProcs, putEnumeratedProc) == GW_HOSTAPI_OFFSET(36, 72));
static_assert(offsetof(WriteDescriptorProcs, putClassProc) == GW_HOSTAPI_OFFSET(40, 80));
static_assert(offsetof(WriteDescriptorProcs, putSimpleReferenceProc) == GW_HOSTAPI_OFFSET(44, 88));
static_assert(offsetof(WriteDescriptorProcs, putObjectProc) == GW_HOSTAPI_OFFSET(48, 96));
static_assert(offsetof(WriteDescriptorProcs, putCountProc) == GW_HOSTAPI_OFFSET(52, 104));
static_assert(offsetof(WriteDescriptorProcs, putStringProc) == GW_HOSTAPI_OFFSET(56, 112));
static_assert(offsetof(WriteDescriptorProcs, putScopedClassProc) == GW_HOSTAPI_OFFSET(60, 120));
static_assert(offsetof(WriteDescriptorProcs, putScopedObjectProc) == GW_HOSTAPI_OFFSET(64, 128));
static_assert(sizeof(WriteDescriptorProcs) == GW_HOSTAPI_OFFSET(68, 136));
static_assert(offsetof(ReadDescriptorProcs, readDescriptorProcsVersion) == GW_HOSTAPI_OFFSET(0, 0));
static_assert(offsetof(ReadDescriptorProcs, numReadDescriptorProcs) == GW_HOSTAPI_OFFSET(2, 2));
static_assert(offsetof(ReadDescriptorProcs, openReadDescriptorProc) == GW_HOSTAPI_OFFSET(4, 8));
static_assert(offsetof(ReadDescriptorProcs, closeReadDescriptorProc) == GW_HOSTAPI_OFFSET(8, 16));
static_assert(offsetof(ReadDescriptorProcs, getKeyProc) == GW_HOSTAPI_OFFSET(12, 24));
static_assert(offsetof(ReadDescriptorProcs, getIntegerProc) == GW_HOSTAPI_OFFSET(16, 32));
static_assert(offsetof(ReadDescriptorProcs, getFloatProc) == GW_HOSTAPI_OFFSET(20, 40));
static_assert(offsetof(ReadDescriptorProcs, getUnitFloatProc) == GW_HOSTAPI_OFFSET(24, 48));
static_assert(offsetof(ReadDescriptorProcs, getBooleanProc) == GW_HOSTAPI_OFFSET(28, 56));
static_assert(offsetof(ReadDescriptorProcs, getTextProc) == GW_HOSTAPI_OFFSET(32, 64));
static_assert(offsetof(ReadDescriptorProcs, getAliasProc) == GW_HOSTAPI_OFFSET(36, 72));
static_assert(offsetof(ReadDescriptorProcs, getEnumeratedProc) == GW_HOSTAPI_OFFSET(40, 80));
static_assert(offsetof(ReadDescriptorProcs, getClassProc) == GW_HOSTAPI_OFFSET(44, 88));
static_assert(offsetof(ReadDescriptorProcs, getSimpleReferenceProc) == GW_HOSTAPI_OFFSET(48, 96));
static_assert(offsetof(ReadDescriptorProcs, getObjectProc) == GW_HOSTAPI_OFFSET(52, 104));
static_assert(offsetof(ReadDescriptorProcs, getCountProc) == GW_HOSTAPI_OFFSET(56, 112));
static_assert(offsetof(ReadDescriptorProcs, getStringProc) == GW_HOSTAPI_OFFSET(60, 120));
static_assert(offsetof(ReadDescriptorProcs, getPinnedIntegerProc) == GW_HOSTAPI_OFFSET(64, 128));
static_assert(offsetof(ReadDescriptorProcs, getPinnedFloatProc) == GW_HOSTAPI_OFFSET(68, 136));
static_assert(offsetof(ReadDescriptorProcs, getPinnedUnitFloatProc) == GW_HOSTAPI_OFFSET(72, 144));
static_assert(sizeof(ReadDescriptorProcs) == GW_HOSTAPI_OFFSET(76, 152));

// PICA suites.
static_assert(offsetof(SPBasicSuite, AcquireSuite) == GW_HOSTAPI_OFFSET(0, 0));
static_assert(offsetof(SPBasicSuite, ReleaseSuite) == GW_HOSTAPI_OFFSET(4, 8));
static_assert(offsetof(SPBasicSuite, IsEqual) == GW_HOSTAPI_OFFSET(8, 16));
static_assert(offsetof(SPBasicSuite, AllocateBlock) == GW_HOSTAPI_OFFSET(12, 24));
static_assert(offsetof(SPBasicSuite, FreeBlock) == GW_HOSTAPI_OFFSET(16, 32));
static_assert(offsetof(SPBasicSuite, ReallocateBlock) == GW_HOSTAPI_OFFSET(20, 40));
static_assert(offsetof(SPBasicSuite, Undefined) == GW_HOSTAPI_OFFSET(24, 48));
static_assert(sizeof(SPBasicSuite) == GW_HOSTAPI_OFFSET(28, 56));
static_assert(offsetof(PSUIHooksSuite1, processEvent) == GW_HOSTAPI_OFFSET(0, 0));
static_assert(offsetof(PSUIHooksSuite1, displayPixels) == GW_HOSTAPI_OFFSET(4, 8));
static_assert(offsetof(PSUIHooksSuite1, progressBar) == GW_HOSTAPI_OFFSET(8, 16));
static_assert(offsetof(PSUIHooksSuite1, testAbort) == GW_HOSTAPI_OFFSET(12, 24));
static_assert(offsetof(PSUIHooksSuite1, MainAppWindow) == GW_HOSTAPI_OFFSET(16, 32));
static_assert(offsetof(PSUIHooksSuite1, SetCursor) == GW_HOSTAPI_OFFSET(20, 40));
static_assert(offsetof(PSUIHooksSuite1, TickCount) == GW_HOSTAPI_OFFSET(24, 48));
static_assert(offsetof(PSUIHooksSuite1, GetPluginName) == GW_HOSTAPI_OFFSET(28, 56));
static_assert(sizeof(PSUIHooksSuite1) == GW_HOSTAPI_OFFSET(32, 64));

// AboutRecord.
static_assert(offsetof(AboutRecord, platformData) == GW_HOSTAPI_OFFSET(0, 0));
static_assert(offsetof(AboutRecord, sSPBasic) == GW_HOSTAPI_OFFSET(4, 8));
static_assert(offsetof(AboutRecord, plugInRef) == GW_HOSTAPI_OFFSET(8, 16));
static_assert(offsetof(AboutRecord, reserved) == GW_HOSTAPI_OFFSET(12, 24));
static_assert(sizeof(AboutRecord) == GW_HOSTAPI_OFFSET(256, 272));

// PiPL data (byte-packed).
static_assert(sizeof(FilterCaseInfo) == 4);
static_assert(offsetof(PITerminology, classID) == 4 && offsetof(PITerminology, eventID) == 8);
static_assert(offsetof(PITerminology, terminologyID) == 12);
static_assert(offsetof(PITerminology, scopeString) == 14 && sizeof(PITerminology) == 15);

#undef GW_HOSTAPI_OFFSET

#include "print/SpoolerDevice.h"

int SpoolerDevice::StartDocument(const DOCINFOW* info) { return info ? StartDocW(dc_, info) : 0; }

void SpoolerDevice::StartPage() { ::StartPage(dc_); }

void SpoolerDevice::EndPage() { ::EndPage(dc_); }

void SpoolerDevice::EndDocument() { EndDoc(dc_); }

void SpoolerDevice::AbortDocument() { AbortDoc(dc_); }

double SpoolerDevice::Caps(int index) { return GetDeviceCaps(dc_, index); }

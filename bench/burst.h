// The batch replay: 1,000 barcodes written to the burst scanner's link at once, read by the app's
// peer (its reader, framing and decoding) and delivered through the library to the host.
#pragma once

namespace bench {

// Opens the burst scanner through the driver, replays the batch `rounds` times after a few
// unmeasured ones, and prints barcodes per second and the time from the write's last byte to the
// host's events. Fails when a barcode is lost or comes twice.
int runBurst(int rounds);

}  // namespace bench

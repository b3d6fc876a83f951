package com.kestra.MobileBarcodeScannerPackage;

import java.util.concurrent.atomic.AtomicReference;

/**
 * An emulated scanner in keyboard mode: kestra-console's `scan TEXT` types the text as the key
 * presses of the layout (KeyTyper), and the peer decodes them by the same layout, as it decodes
 * a real keyboard's, so the decoder runs end to end on a desk.
 */
final class KeyboardSource extends BarcodeSource {
    // The open emulated keyboard that `scan` types into; null when none is open.
    private static final AtomicReference<Keys> open = new AtomicReference<Keys>();

    private final KeyboardLayout layout;

    KeyboardSource(KeyboardLayout layout) {
        this.layout = layout;
    }

    @Override
    String describe() {
        return "keys:" + layout.name;
    }

    @Override
    SourceStream connect() {
        Keys keys = new Keys(layout);
        open.set(keys);
        return keys;
    }

    /** Types a barcode into the open emulated keyboard; false when none is open. */
    static boolean type(String text) {
        final Keys keys = open.get();
        if (keys == null) {
            return false;
        }
        new KeyTyper(keys.layout, keys::offer).type(text);
        return true;
    }

    private static final class Keys extends KeyStream {
        final KeyboardLayout layout;

        Keys(KeyboardLayout layout) {
            super(new KeyDecoder(layout, false, false));
            this.layout = layout;
        }

        @Override
        protected void release() {
            open.compareAndSet(this, null);
        }

        @Override
        String endReason() {
            return "the emulated keyboard was closed";
        }
    }
}

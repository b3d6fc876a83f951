package android.os;

import java.util.UUID;

/**
 * Declaration for compiling the peer only; see android.app.Activity. The platform's class also
 * implements Parcelable, which the peer does not use.
 */
public final class ParcelUuid {
    public ParcelUuid(UUID uuid) {
        throw new UnsupportedOperationException("declaration only");
    }

    public UUID getUuid() {
        throw new UnsupportedOperationException("declaration only");
    }
}

package android.os;

import java.util.UUID;

/** Fake for the desktop tests. */
public final class ParcelUuid {
    private final UUID uuid;

    public ParcelUuid(UUID uuid) {
        this.uuid = uuid;
    }

    public UUID getUuid() {
        return uuid;
    }

    @Override
    public boolean equals(Object other) {
        return other instanceof ParcelUuid && ((ParcelUuid) other).uuid.equals(uuid);
    }

    @Override
    public int hashCode() {
        return uuid.hashCode();
    }
}

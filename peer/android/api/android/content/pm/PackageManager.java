package android.content.pm;

/** Declaration for compiling the peer only; see android.app.Activity. */
public abstract class PackageManager {
    public static final int PERMISSION_GRANTED = 0;
}

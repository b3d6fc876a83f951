package android.os;

/** Fake for the desktop tests: the running system's level is whatever a test sets. */
public class Build {
    public static class VERSION {
        public static int SDK_INT = 31;
    }
}

package android.app;

/** Stand-in for the Android framework's activity: the peer only receives and keeps it. */
public class Activity {
    private final String name;

    public Activity(String name) {
        this.name = name;
    }

    public String getName() {
        return name;
    }
}

package vkbridge;

import java.io.FileOutputStream;
import java.io.InputStream;
import java.net.URL;
import java.net.URLClassLoader;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Enumeration;
import java.util.zip.ZipEntry;
import java.util.zip.ZipFile;
import java.util.zip.ZipOutputStream;

/** Initialises a class from a copy of a jar that lacks one entry, in a loader of its own. */
public final class LoaderProbe {
    private LoaderProbe() {}

    /** What initialising `className` threw, or null when it loaded. */
    public static Throwable initialiseWithout(String jar, String missingEntry, String className) throws Exception {
        Path copy = Files.createTempFile("vkjava-without-", ".jar");
        try (ZipFile in = new ZipFile(jar); ZipOutputStream out = new ZipOutputStream(new FileOutputStream(copy.toFile()))) {
            for (Enumeration<? extends ZipEntry> e = in.entries(); e.hasMoreElements();) {
                ZipEntry entry = e.nextElement();
                if (entry.getName().equals(missingEntry)) continue;
                out.putNextEntry(new ZipEntry(entry.getName()));
                try (InputStream data = in.getInputStream(entry)) {
                    data.transferTo(out);
                }
                out.closeEntry();
            }
        }
        // The platform loader as parent: nothing comes from the test's class path.
        try (URLClassLoader loader =
                 new URLClassLoader(new URL[] {copy.toUri().toURL()}, ClassLoader.getPlatformClassLoader())) {
            Class.forName(className, true, loader);
            return null;
        } catch (Throwable t) {
            return t;
        } finally {
            Files.deleteIfExists(copy);
        }
    }

    /** Proof that the JVM still runs Java code. */
    public static int sum(int a, int b) {
        return a + b;
    }
}

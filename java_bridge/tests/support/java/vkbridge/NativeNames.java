package vkbridge;

import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.util.ArrayList;
import java.util.List;
import java.util.TreeSet;

/**
 * The JNI symbol names of a class's native methods, as the JVM binds them: the
 * short name, or the long name with the argument descriptor for a method whose
 * name another native of the class shares.
 */
public final class NativeNames {
    private NativeNames() {}

    public static String[] of(String className) throws ClassNotFoundException {
        // Not initialised: reflection only, no library loaded.
        Class<?> type = Class.forName(className, false, NativeNames.class.getClassLoader());
        List<Method> natives = new ArrayList<>();
        for (Method m : type.getDeclaredMethods())
            if (Modifier.isNative(m.getModifiers())) natives.add(m);
        TreeSet<String> names = new TreeSet<>();
        for (Method m : natives) {
            boolean overloaded = false;
            for (Method other : natives)
                if (other != m && other.getName().equals(m.getName())) overloaded = true;
            String name = "Java_" + mangle(type.getName().replace('.', '/')) + "_" + mangle(m.getName());
            if (overloaded) {
                StringBuilder descriptor = new StringBuilder();
                for (Class<?> p : m.getParameterTypes()) descriptor.append(descriptor(p));
                name += "__" + mangle(descriptor.toString());
            }
            names.add(name);
        }
        return names.toArray(new String[0]);
    }

    static String descriptor(Class<?> c) {
        if (c.isArray()) return "[" + descriptor(c.getComponentType());
        if (c == int.class) return "I";
        if (c == long.class) return "J";
        if (c == byte.class) return "B";
        if (c == boolean.class) return "Z";
        if (c == short.class) return "S";
        if (c == char.class) return "C";
        if (c == float.class) return "F";
        if (c == double.class) return "D";
        if (c == void.class) return "V";
        return "L" + c.getName().replace('.', '/') + ";";
    }

    static String mangle(String s) {
        StringBuilder out = new StringBuilder();
        for (char ch : s.toCharArray()) {
            if (ch == '/') out.append('_');
            else if (ch == '_') out.append("_1");
            else if (ch == ';') out.append("_2");
            else if (ch == '[') out.append("_3");
            else if ((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9')) out.append(ch);
            else out.append(String.format("_0%04x", (int) ch));
        }
        return out.toString();
    }
}

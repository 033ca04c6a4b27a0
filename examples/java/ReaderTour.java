import de.varek.VkdmKrnReader;

/**
 * A reader module of the data-manager bridge against a KRN reader on TCP: connects,
 * asks for the software version (0x65) and the reader's name, and runs an inventory
 * (0xB0). Run from the installed kit, with the natives found through
 * java.library.path alone:
 *
 * <pre>
 *   java -Djava.library.path=PREFIX/lib -cp PREFIX/share/java/vkjava.jar ReaderTour.java HOST PORT
 * </pre>
 *
 * Failures arrive as the bridge's exceptions (VkdmException, VkPortDriverException,
 * VkReaderDriverException), each with the code, the failing method and its text.
 */
public final class ReaderTour {
    public static void main(String[] args) {
        if (args.length != 2) {
            System.err.println("usage: java ReaderTour.java HOST PORT");
            System.exit(2);
        }
        final int module = VkdmKrnReader.Init();
        try {
            VkdmKrnReader.ConnectTCP(module, args[0], Integer.parseInt(args[1]));
            System.out.println("libnubokrn4j " + VkdmKrnReader.GetLibVersion(module));

            // 0x65 software version: the module keeps the reader's name from it.
            int status = VkdmKrnReader.SendProtocol(module, (byte)0x65);
            System.out.println("0x65 software version: status " + status);
            System.out.println("reader name: " + VkdmKrnReader.GetReaderName(module));

            // 0xB0 [01][00]: the transponders in the field, [count] then per
            // transponder [type][8-byte UID]. Request and reply data travel as hex text.
            String inventory = VkdmKrnReader.SendProtocol(module, (byte)0xB0, "0100");
            int count = inventory.length() >= 2 ? Integer.parseInt(inventory.substring(0, 2), 16) : 0;
            System.out.println("0xB0 inventory: " + count + " transponders");
            for (int i = 0; i < count && 2 + 18 * (i + 1) <= inventory.length(); ++i) {
                System.out.println("  UID " + inventory.substring(2 + 18 * i + 2, 2 + 18 * (i + 1)));
            }
            VkdmKrnReader.DisConnect(module);
        } finally {
            VkdmKrnReader.Destroy(module);
        }
    }
}

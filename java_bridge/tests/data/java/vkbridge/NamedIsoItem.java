package vkbridge;

import de.varek.VkdmIsoTableItem;

/** An ISO item that names itself as told, for the identifier checks of the writing natives. */
public class NamedIsoItem extends VkdmIsoTableItem {
    private final String identifier;

    public NamedIsoItem(String identifier) {
        super(0, 256, 32, 256, 32);
        this.identifier = identifier;
    }

    @Override
    public String getIdentifier() {
        return identifier;
    }
}

// Every rule of herald check, one line each: its function, defined in
// the rules/ file of its part of the document, and the places the walk hands it. At each place the rules
// run in this order, which is the order of their findings: first what is
// wrong with the place's value itself, then its unknown keys, then its own
// keys' values, each at a place of its own.
// No include guard: read once for the declarations and once for the table.

// The document and its top-level keys.
HERALD_CHECK_RULE(DocumentIsAnObject, At(Place::Document))
HERALD_CHECK_RULE(SchemaReferenceIsText, At(Place::SchemaReference))
HERALD_CHECK_RULE(EnableNestsIsABoolean, At(Place::EnableNests))
HERALD_CHECK_RULE(AsteroidSettingsAreAnObject, At(Place::Asteroids))
HERALD_CHECK_RULE(ItemsAreAnObject, At(Place::Items))
HERALD_CHECK_RULE(PlayersAreAnObject, At(Place::Players))
HERALD_CHECK_RULE(CalmIsAnObject, At(Place::Calm))
HERALD_CHECK_RULE(DiscordIsAnObject, At(Place::Discord))
HERALD_CHECK_RULE(DiscordHasAWebhook, At(Place::Discord))

// An entry of Items, by its key.
HERALD_CHECK_RULE(ItemKeyIsAnyNamesKey, At(Place::Item))
HERALD_CHECK_RULE(NestsAreExaminedForNestKeys, At(Place::Item))
HERALD_CHECK_RULE(ItemEntryIsAnObject, At(Place::Item))

HERALD_CHECK_RULE(NotificationIsAnObject, At(Place::Notification))

// After the checks of the value itself at each object.
HERALD_CHECK_RULE(UnknownKeys, At(Place::Document) | At(Place::Asteroids) | At(Place::Item) | At(Place::Notification) |
                                   At(Place::Players) | At(Place::Calm) | At(Place::Discord))

// AsteroidGen2's own keys, its code maps and their entries.
HERALD_CHECK_RULE(AsteroidsEnableIsABoolean, At(Place::AsteroidsEnable))
HERALD_CHECK_RULE(AsteroidCodeMapIsAnObject, At(Place::AsteroidCodeMap))
HERALD_CHECK_RULE(AsteroidCodeValueIsText, At(Place::AsteroidCode))
HERALD_CHECK_RULE(AsteroidColorIsReadAsWritten, At(Place::AsteroidCode))
HERALD_CHECK_RULE(AsteroidTextIsShownWhole, At(Place::AsteroidCode))

HERALD_CHECK_RULE(ItemNameIsShownWhole, At(Place::ItemName))

// An entry's or AsteroidGen2's group.
HERALD_CHECK_RULE(GroupIsAGroupName, At(Place::Group))
HERALD_CHECK_RULE(GroupHasAnAnnouncement, At(Place::Group))

// An entry's cooldown and Calm's counts.
HERALD_CHECK_RULE(CountIsACount, At(Place::Count))
HERALD_CHECK_RULE(CooldownHasAnAnnouncement, At(Place::Count))

// A notification's keys, Calm's Digest, which stands in for an entry's Msg,
// and the name the relay's posts go under, a template of its own.
HERALD_CHECK_RULE(MessageIsSent, At(Place::Message))
HERALD_CHECK_RULE(DigestIsText, At(Place::Digest))
HERALD_CHECK_RULE(DigestIsSent, At(Place::Digest))
HERALD_CHECK_RULE(MessageIsShownWhole, At(Place::Message) | At(Place::Digest))
HERALD_CHECK_RULE(PlaceholdersAreFilled, At(Place::Message) | At(Place::Digest) | At(Place::Username))
HERALD_CHECK_RULE(DeliveryTypeIsText, At(Place::DeliveryType))
HERALD_CHECK_RULE(DeliveryTypeIsKnown, At(Place::DeliveryType))
HERALD_CHECK_RULE(DisplayTimeIsANumber, At(Place::DisplayTime))
HERALD_CHECK_RULE(DisplayTimeIsReadAsWritten, At(Place::DisplayTime))
HERALD_CHECK_RULE(DisplaySizeIsANumber, At(Place::DisplaySize))
HERALD_CHECK_RULE(DisplaySizeFitsTheGame, At(Place::DisplaySize))
HERALD_CHECK_RULE(SenderIsText, At(Place::Sender))
HERALD_CHECK_RULE(SenderIsShownWhole, At(Place::Sender))
HERALD_CHECK_RULE(AsteroidNotificationColorHasNoEffect, At(Place::Color))
HERALD_CHECK_RULE(NotificationColorIsText, At(Place::Color))
HERALD_CHECK_RULE(NotificationColorIsGiven, At(Place::Color))
HERALD_CHECK_RULE(NotificationColorIsReadAsWritten, At(Place::Color))

// Players' keys.
HERALD_CHECK_RULE(PlayersEnableIsABoolean, At(Place::PlayersEnable))
HERALD_CHECK_RULE(ChatCommandIsACommandName, At(Place::ChatCommand))
HERALD_CHECK_RULE(ChoiceStoreIsAPath, At(Place::ChoiceStore))

// The relay's keys.
HERALD_CHECK_RULE(WebhookIsUsable, At(Place::Webhook))
HERALD_CHECK_RULE(RelayedGroupsAreGroupNames, At(Place::RelayedGroups))
HERALD_CHECK_RULE(RelayedGroupsAreAnnounced, At(Place::RelayedGroups))
HERALD_CHECK_RULE(UsernameIsText, At(Place::Username))
HERALD_CHECK_RULE(ThreadIsAThreadOfTheWebhook, At(Place::Thread))
HERALD_CHECK_RULE(MentionNamesRoles, At(Place::Mention))

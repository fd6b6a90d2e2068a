#ifndef RESOURCES_RESOURCE_IDS_H_
#define RESOURCES_RESOURCE_IDS_H_

// Numbers shared by the resource script and the code that loads the resources. Plain macros,
// since the resource compiler reads this file too.

// The application's icon group: the window, tray and balloon icons.
#define IDI_APP_ICON 101

#endif  // RESOURCES_RESOURCE_IDS_H_

// MainMenu

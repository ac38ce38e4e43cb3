configApp = "Software\Corvanth\Game";
displayName = "Corvanth";
version = "1.08";
appName[] = {"game.exe"};
isPatch = 1;
requiredForPatch = "1.05";
class Distributions
{
	class ENGLISH { scope = 1; name = "English"; parent = ""; };
	class GERMAN { scope = 1; name = "Deutsch"; parent = ""; };
};
class UpdateRegistry
{
	class Version
	{
		registryUser = 0;
		registryPath = "Software\Corvanth\Game";
		registryName = "Version";
		registryValue = "1.08";
	};
};

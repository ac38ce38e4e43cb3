manifest = "example-manifest.cpp";
key = "publisher.pem";
patchProgram = "zrpatch.exe";
deltaTool = "zrvcdiff.exe";
tolerate[] = {"*.log"};
class Versions
{
	class v105
	{
		version = "1.05";
		class Trees { ENGLISH = "game/1.05/en"; GERMAN = "game/1.05/de"; };
	};
	class v106
	{
		version = "1.06";
		class Trees { ENGLISH = "game/1.06/en"; GERMAN = "game/1.06/de"; };
	};
	class v108
	{
		version = "1.08";
		class Trees { GERMAN = "game/1.08/de"; ENGLISH = "game/1.08/en"; };
	};
};
class Groups
{
	all = "whole";
	temporary = "tmp";
};
